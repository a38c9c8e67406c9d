#pragma once

#include <functional>

namespace orvana::app {

class frmMain;

// The whole program: QApplication, settings, cookies, the window shown and centred, and the
// end. SIGTERM, SIGINT and SIGHUP close the window as the user would. After the window closes
// the program ends within a second: running jobs are cancelled, not waited for. afterShow (for
// test programs) runs once the window is shown. With ORVANA_SCREENSHOT set to a path, the window
// is saved there as a PNG half a second after showing, then closed. Returns the exit code.
int RunOrvanaDl(int argc, char** argv, const std::function<void(frmMain&)>& afterShow = {});

} // namespace orvana::app
