// libFuzzer target for the script interpreter: any input must run without a crash, a hang or an
// escaping exception other than the interpreter's own failures, and the depth must come back to 0.
#include "net/text_conversion.h"

#include "json/error.h"
#include "json/script.h"
#include <QByteArray>
#include <QString>
#include <cstdlib>

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

// Answers every other input box, so both the answered and the cancelled paths run.
class FuzzUi : public orvana::json::ScriptUi {
public:
    void messageBox(const QString& title, const QString&, orvana::json::MessageIcon icon) override {
        if (icon == orvana::json::MessageIcon::Exclamation)
            require(title == u"Parser Error");
    }
    std::optional<QString> inputBox(const QString& prompt, const QString&,
                                    const QString& defaultText) override {
        m_answer = !m_answer;
        if (m_answer)
            return prompt + defaultText;
        return std::nullopt;
    }

private:
    bool m_answer = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = orvana::Utf8BytesToText(bytes);
    FuzzUi ui;
    orvana::json::cJSONScript interpreter(ui);
    // Twice, so the second run sees the variables of the first.
    for (int run = 0; run < 2; ++run) {
        try {
            const QString output = interpreter.Eval(text);
            require(output.size() <= orvana::json::cJSONScript::kMaxTextLength);
            require(interpreter.LastParseErrors().isEmpty() || output.isEmpty());
        } catch (const orvana::Error& e) {
            require(e.kind() == orvana::ErrorKind::Shape ||
                    e.kind() == orvana::ErrorKind::Overflow);
            require(!e.message().isEmpty());
        }
        require(interpreter.NestingDepth() == 0);
    }
    return 0;
}
