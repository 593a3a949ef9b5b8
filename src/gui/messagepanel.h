#pragma once
// The message panel of the service window: a one-line caption over a flood bar (a fill from
// the left edge, 0 to 100 percent) that flashes while a message is announced. A click on the
// panel is reported, so the window can clear it.
#include <QColor>
#include <QLabel>

namespace tavo::gui {

class MessagePanel : public QLabel {
    Q_OBJECT
public:
    explicit MessagePanel(QWidget *parent = nullptr);

    QString caption() const { return text(); }
    // Shows the text (echoed when the service runs without a screen); empty clears the panel.
    void setCaption(const QString &caption);

    int floodPercent() const { return m_flood; }
    void setFloodPercent(int percent);
    void setFloodColor(const QColor &color);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    int m_flood = 0;
    QColor m_floodColor = QColor(0, 120, 215);
};

} // namespace tavo::gui
