#include "print/painterrenderer.h"

#include "print/printsurface.h"

#include <QPainter>
#include <QPdfWriter>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tavo::print {

namespace {

constexpr int kRuleWidth = 15; // twips, about a quarter of a millimetre

void drawRules(QPainter &painter, const PrintItem &cell)
{
    const int code = cell.border;
    const QRect r = cell.rect;
    const bool top = code == 2 || code == 3 || code == 4 || code == 6 || code == 7;
    const bool bottom = code == 1 || code == 3 || code == 4 || code == 6 || code == 7;
    const bool left
        = code == 7 || (code == 4 && cell.column == 0) || ((code == 5 || code == 6) && cell.column > 0);
    const bool right = code == 7 || (code == 4 && cell.column == cell.columnCount - 1);
    if (!(top || bottom || left || right))
        return;
    painter.setPen(QPen(Qt::black, kRuleWidth));
    const int x1 = r.left(), x2 = r.left() + r.width(), y1 = r.top(), y2 = r.top() + r.height();
    if (top)
        painter.drawLine(x1, y1, x2, y1);
    if (bottom)
        painter.drawLine(x1, y2, x2, y2);
    if (left)
        painter.drawLine(x1, y1, x1, y2);
    if (right)
        painter.drawLine(x2, y1, x2, y2);
}

} // namespace

QPageSize PainterRenderer::pageSize(const PrintDocument &document)
{
    const QSize paper = document.printedPaperSize();
    const QSizeF inches(paper.width() / double(kTwipsPerInch), paper.height() / double(kTwipsPerInch));
    return QPageSize(inches, QPageSize::Inch, document.name, QPageSize::ExactMatch);
}

void PainterRenderer::paintPages(QPainter &painter, const PrintDocument &document, double dotsPerInch)
{
    const double scale = dotsPerInch / kTwipsPerInch;
    for (int page = 0; page < document.pageCount(); ++page) {
        if (page > 0) {
            if (auto *paged = dynamic_cast<QPagedPaintDevice *>(painter.device()))
                paged->newPage();
        }
        painter.save();
        painter.scale(scale, scale);
        paintPage(painter, document, page);
        painter.restore();
    }
}

void PainterRenderer::paintPage(QPainter &painter, const PrintDocument &document, int pageIndex)
{
    if (pageIndex < 0 || pageIndex >= document.pageCount())
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (const PrintItem &item : document.pages[pageIndex].items) {
        if (item.kind == PrintItemKind::Command)
            continue; // the buzzer leaves no mark
        if (item.kind == PrintItemKind::Cell)
            drawRules(painter, item);
        QFont font = twipFont(item.font);
        painter.setFont(font);
        painter.setPen(item.font.colour);
        for (const PrintLine &line : item.lines) {
            if (line.wordSpacing != font.wordSpacing()) {
                font.setWordSpacing(line.wordSpacing);
                painter.setFont(font);
            }
            painter.drawText(QPointF(line.x, line.baseline), line.text);
        }
    }
}

bool PainterRenderer::toPdf(const PrintDocument &document, const QString &path, QString *error)
{
    QPdfWriter writer(path);
    writer.setResolution(1200);
    writer.setTitle(document.name);
    writer.setCreator(u"TavoKPortSrv"_s);
    writer.setPageSize(pageSize(document));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter;
    if (!painter.begin(&writer)) {
        if (error)
            *error = u"the PDF file \"%1\" could not be written"_s.arg(path);
        return false;
    }
    paintPages(painter, document, writer.resolution());
    if (!painter.end()) {
        if (error)
            *error = u"the PDF file \"%1\" could not be finished"_s.arg(path);
        return false;
    }
    return true;
}

QImage PainterRenderer::toImage(const PrintDocument &document, int pageIndex, double dpi, bool cropToContent)
{
    const double scale = dpi / kTwipsPerInch;
    int heightTwips = document.paperSize.height();
    if (cropToContent)
        heightTwips = std::min(heightTwips, document.contentBottom(pageIndex) + 200);
    const QSize pixels(std::max(1, int(std::ceil(document.paperSize.width() * scale))),
        std::max(1, int(std::ceil(heightTwips * scale))));
    QImage image(pixels, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(scale, scale);
    paintPage(painter, document, pageIndex);
    painter.end();
    return image;
}

bool PdfSink::output(const PrintDocument &document, QString *error)
{
    return PainterRenderer::toPdf(document, m_path, error);
}

bool ImageSink::output(const PrintDocument &document, QString *)
{
    m_pages.clear();
    for (int page = 0; page < document.pageCount(); ++page)
        m_pages.append(PainterRenderer::toImage(document, page, m_dpi, m_crop));
    return true;
}

} // namespace tavo::print
