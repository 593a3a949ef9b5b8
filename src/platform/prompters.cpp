#include "platform/prompters.h"

using namespace Qt::StringLiterals;

namespace tavo::platform {

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

BoxAnswer defaultAnswer(BoxButtons buttons)
{
    return buttons == BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Ok;
}

HeadlessPrompter::HeadlessPrompter(std::FILE *out, bool bell)
    : m_out(out)
    , m_bell(bell)
{
}

BoxAnswer HeadlessPrompter::ask(const QString &title, const QString &text, BoxIcon, BoxButtons buttons)
{
    const BoxAnswer answer = defaultAnswer(buttons);
    if (m_out != nullptr) {
        QString block = u"[%1]\n%2\n"_s.arg(title, text);
        if (buttons == BoxButtons::YesNo)
            block += u"(answered: No)\n"_s;
        block += u'\n';
        const QByteArray bytes = block.toUtf8();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
        std::fflush(m_out);
    }
    return answer;
}

void HeadlessPrompter::beep()
{
    if (m_bell && m_out != nullptr) {
        std::fputc('\a', m_out);
        std::fflush(m_out);
    }
}

} // namespace tavo::platform
