#include "gui/messagepanel.h"

#include "platform/echo.h"

#include <QMouseEvent>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace tavo::gui {

MessagePanel::MessagePanel(QWidget *parent)
    : QLabel(parent)
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignCenter);
    setAutoFillBackground(true);
    setMinimumHeight(fontMetrics().height() + 10);
}

void MessagePanel::setCaption(const QString &caption)
{
    setText(caption);
    if (!caption.isEmpty())
        platform::echoLine(u"elaMsg"_s, caption);
}

void MessagePanel::setFloodPercent(int percent)
{
    m_flood = std::clamp(percent, 0, 100);
    update();
}

void MessagePanel::setFloodColor(const QColor &color)
{
    m_floodColor = color;
    update();
}

void MessagePanel::paintEvent(QPaintEvent *event)
{
    if (m_flood > 0) {
        QPainter painter(this);
        QRect bar = contentsRect();
        bar.setWidth(bar.width() * m_flood / 100);
        painter.fillRect(bar, m_floodColor.lighter(170));
    }
    QLabel::paintEvent(event);
}

void MessagePanel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

} // namespace tavo::gui
