#include "platform/prompters.h"

#include <QApplication>
#include <QMessageBox>

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

BoxAnswer QtPrompter::ask(const QString &title, const QString &text, BoxIcon icon, BoxButtons buttons)
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr)
        return defaultAnswer(buttons);
    QMessageBox box;
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case BoxIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case BoxIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case BoxIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case BoxIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case BoxIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    if (buttons == BoxButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
    }
    const int pressed = box.exec();
    if (buttons == BoxButtons::YesNo)
        return pressed == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
    return BoxAnswer::Ok;
}

void QtPrompter::beep()
{
    QApplication::beep();
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
