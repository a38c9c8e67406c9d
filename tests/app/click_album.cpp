// The desktop program, with a click on the album button once the window is shown.
#include "app/application.h"
#include "app/frm_main.h"
#include "controls/isButton/is_button.h"

int main(int argc, char** argv) {
    return orvana::app::RunOrvanaDl(argc, argv, [](orvana::app::frmMain& window) {
        auto* button =
            window.findChild<orvana::controls::isButton*>(QStringLiteral("cmdDownAlbum"));
        if (button)
            Q_EMIT button->Click();
    });
}
