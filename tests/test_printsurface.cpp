// The print surface: how it lays out and records text, tables and device commands, how it hands
// documents to printers and other sinks, and how the painter renderer draws what was recorded.
#include "platform/errors.h"
#include "print/painterrenderer.h"
#include "print/printsurface.h"
#include "support/fake_printers.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tavo;
using namespace tavo::print;

namespace {

QList<PrintItem> itemsOf(const PrintDocument &doc, PrintItemKind kind)
{
    QList<PrintItem> out;
    for (const PrintItem &item : doc.items())
        if (item.kind == kind)
            out.append(item);
    return out;
}

int redPixels(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.red() > 180 && c.green() < 90 && c.blue() < 90;
        }
    return n;
}

int darkPixels(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qGray(image.pixel(x, y)) < 100;
    return n;
}

// The leftmost column with ink, or -1 on a blank image.
int firstInkColumn(const QImage &image)
{
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (qGray(image.pixel(x, y)) < 160)
                return x;
    return -1;
}

} // namespace

TEST(PrintSurface, TextBreaksLinesOnlyAtCrLfAndLeftAlignedBlocksStartAtTheMarginPlusIndent)
{
    PrintSurface vsp;
    vsp.setMargins(QMargins(300, 200, 0, 0));
    vsp.startDoc();
    EXPECT_EQ(vsp.currentY(), 200);
    vsp.setFontName(u"Arial"_s);
    vsp.setFontSize(10);

    vsp.text(u"no line end"_s);
    EXPECT_EQ(vsp.currentY(), 200) << "text without CR LF keeps the position on its line";
    vsp.text(u"lone\nfeed and lone\rreturn"_s);
    EXPECT_EQ(vsp.currentY(), 200);
    vsp.text(u"one\r\ntwo\r\n"_s);
    const QList<PrintItem> lines = itemsOf(vsp.document(), PrintItemKind::Text);
    ASSERT_EQ(lines.size(), 4);
    const int pitch = lines[3].rect.top() - lines[2].rect.top();
    EXPECT_GT(pitch, 150);
    EXPECT_LT(pitch, 350);
    EXPECT_EQ(vsp.currentY(), 200 + 2 * pitch) << "a trailing CR LF moves to the next line";
    for (const PrintItem &line : lines) {
        EXPECT_EQ(line.rect.left(), 300) << "alignment code 0 until told otherwise";
        ASSERT_EQ(line.lines.size(), 1);
        EXPECT_EQ(line.lines[0].x, 300);
        EXPECT_GT(line.lines[0].baseline, line.rect.top());
        EXPECT_LT(line.lines[0].baseline, line.rect.bottom());
    }

    vsp.setIndentLeft(100);
    vsp.paragraph(QString());
    vsp.paragraph(u"indented"_s);
    EXPECT_EQ(vsp.currentY(), 200 + 4 * pitch) << "an empty paragraph is an empty line";
    EXPECT_EQ(vsp.document().textBlocks(),
        (QStringList {
            u"no line end"_s, u"lone\nfeed and lone\rreturn"_s, u"one\r\ntwo"_s, QString(), u"indented"_s }));
    EXPECT_EQ(itemsOf(vsp.document(), PrintItemKind::Text).last().rect.left(), 400);

    vsp.setLineSpacing(200);
    const int before = vsp.currentY();
    vsp.paragraph(u"double"_s);
    EXPECT_NEAR(vsp.currentY() - before, 2 * pitch, 2);
}

TEST(PrintSurface, AlignmentCodesPlaceTextBlocksBetweenTheMarginPlusIndentAndTheRightMargin)
{
    // Room from 500 + 300 to 6000 - 700.
    constexpr int left = 800, right = 5300;
    struct Case {
        int code;
        PrintAlign align;
    };
    const Case cases[] = { { 0, PrintAlign::Left }, { 1, PrintAlign::Right }, { 2, PrintAlign::Centre },
        { 3, PrintAlign::Justified }, { 4, PrintAlign::Left }, { 6, PrintAlign::Centre },
        { 9, PrintAlign::Right }, { 14, PrintAlign::Centre }, { 15, PrintAlign::Justified },
        { 16, PrintAlign::Left }, { -2, PrintAlign::Left } };
    PrintSurface vsp;
    vsp.setPaperSize(QSize(6000, 16838));
    vsp.setMargins(QMargins(500, 0, 700, 0));
    vsp.setIndentLeft(300);
    vsp.startDoc();
    vsp.setFontSize(10);
    for (const Case &c : cases) {
        vsp.setTextAlign(c.code);
        vsp.paragraph(u"廚房 Kitchen"_s);
        const PrintItem item = itemsOf(vsp.document(), PrintItemKind::Text).last();
        const PrintLine &line = item.lines[0];
        SCOPED_TRACE(c.code);
        EXPECT_EQ(item.align, c.align);
        EXPECT_EQ(item.rect.left(), line.x);
        EXPECT_EQ(line.wordSpacing, 0) << "a block of one line is never stretched";
        const int before = line.x - left, after = right - (line.x + line.width);
        switch (c.align) {
        case PrintAlign::Left:
        case PrintAlign::Justified:
            EXPECT_EQ(before, 0);
            break;
        case PrintAlign::Right:
            EXPECT_NEAR(after, 0, 1);
            break;
        case PrintAlign::Centre:
            EXPECT_NEAR(before, after, 2);
            break;
        }
    }

    // Justified: the lines cut to fit reach both margins, the block's last line stays at the left.
    vsp.setTextAlign(3);
    vsp.paragraph(u"the quick brown fox jumps over the lazy dog and keeps running past the edge"_s);
    QList<PrintItem> cut = itemsOf(vsp.document(), PrintItemKind::Text);
    cut = cut.mid(cut.size() - 2);
    ASSERT_TRUE(cut[1].continued);
    EXPECT_EQ(cut[0].lines[0].x, left);
    EXPECT_EQ(cut[0].lines[0].x + cut[0].lines[0].width, right);
    EXPECT_GT(cut[0].lines[0].wordSpacing, 0);
    EXPECT_EQ(cut[1].lines[0].x, left);
    EXPECT_EQ(cut[1].lines[0].wordSpacing, 0);
    EXPECT_LT(cut[1].lines[0].x + cut[1].lines[0].width, right);
}

TEST(PrintSurface, FontsSizesBoldAndDeviceFontsAreRecorded)
{
    PrintSurface vsp;
    vsp.startDoc();
    vsp.setFontName(u"Arial"_s);
    vsp.setFontSize(16);
    vsp.setFontBold(true);
    vsp.text(u"big"_s);
    vsp.setFontName(kRedDeviceFont);
    vsp.setFontSize(9);
    vsp.setFontBold(false);
    vsp.text(u"red"_s);
    vsp.setFontName(kFixedDeviceFont);
    vsp.text(u"fixed"_s);
    vsp.setFontName(kControlDeviceFont);
    vsp.text(u"C"_s);
    vsp.text(u"X"_s);

    const QList<PrintItem> texts = itemsOf(vsp.document(), PrintItemKind::Text);
    ASSERT_EQ(texts.size(), 3) << "control-font characters are commands, never ink";
    EXPECT_EQ(texts[0].font.name, u"Arial"_s);
    EXPECT_EQ(texts[0].font.size, 16);
    EXPECT_TRUE(texts[0].font.bold);
    EXPECT_EQ(texts[0].font.colour, QColor(Qt::black));
    EXPECT_EQ(texts[1].font.name, kRedDeviceFont);
    EXPECT_EQ(texts[1].font.colour, QColor(Qt::red));
    EXPECT_TRUE(texts[1].font.fixedPitch);
    EXPECT_EQ(texts[1].font.size, 9);
    EXPECT_EQ(texts[2].font.colour, QColor(Qt::black));
    EXPECT_TRUE(texts[2].font.fixedPitch);
    EXPECT_EQ(vsp.document().commandCount(DeviceCommand::Bell), 1);
    EXPECT_EQ(vsp.document().commandCount(DeviceCommand::Other), 1);

    // Leaving the control font for a face gives ink again.
    vsp.setFontName(u"Arial"_s);
    vsp.text(u"after"_s);
    EXPECT_EQ(itemsOf(vsp.document(), PrintItemKind::Text).size(), 4);

    EXPECT_THROW(vsp.setFontName(QString()), TavoError);
    EXPECT_THROW(vsp.setFontSize(0), TavoError);
    EXPECT_THROW(vsp.setFontSize(-3), TavoError);
}

TEST(PrintSurface, TablesHonourTheFormatWidthsAlignmentsAndSeparators)
{
    PrintSurface vsp;
    vsp.startDoc();
    vsp.setFontName(u"Arial"_s);
    vsp.setFontSize(18);
    vsp.setTableBorder(3);
    vsp.setTableCellPadding(30);
    vsp.setCurrentY(1000);
    vsp.addTable(u"<2800|^850;"_s, QString(), u"牛肉麵 <不辣>|1;"_s);
    vsp.addTable(u"150|3500;"_s, QString(), u"|/白飯*2;"_s);

    const PrintDocument &doc = vsp.document();
    EXPECT_EQ(doc.tableRows(), (QStringList { u"牛肉麵 <不辣>|1;"_s, u"|/白飯*2;"_s }));
    const QList<PrintItem> item = doc.rowCells(0, 0);
    ASSERT_EQ(item.size(), 2);
    EXPECT_EQ(item[0].rect, QRect(0, 1000, 2800, item[0].rect.height()));
    EXPECT_EQ(item[1].rect.left(), 2800);
    EXPECT_EQ(item[1].rect.width(), 850);
    EXPECT_EQ(item[0].align, PrintAlign::Left);
    EXPECT_EQ(item[1].align, PrintAlign::Centre);
    EXPECT_EQ(item[0].border, 3);
    // Each line is placed inside its cell's padding by the column's mark, here and not at drawing.
    EXPECT_EQ(item[0].lines[0].x, 30);
    const PrintLine &quantity = item[1].lines[0];
    EXPECT_NEAR(quantity.x - (2800 + 30), (2800 + 850 - 30) - (quantity.x + quantity.width), 2);
    EXPECT_EQ(quantity.baseline, item[0].lines[0].baseline);
    const QList<PrintItem> addOn = doc.rowCells(1, 0);
    ASSERT_EQ(addOn.size(), 2);
    EXPECT_EQ(addOn[0].rect.width(), 150);
    EXPECT_EQ(addOn[1].rect.width(), 3500);
    EXPECT_EQ(addOn[0].rect.top(), item[0].rect.bottom() + 1) << "rows follow each other without gaps";
    EXPECT_EQ(vsp.currentY(), addOn[0].rect.bottom() + 1);

    // The reports' own separators, a header, and rows with too few or too many cells.
    vsp.setTableSeparators(u"#;"_s);
    EXPECT_EQ(vsp.tableSeparators(), u"#;"_s);
    vsp.addTable(u"<2400#>600;"_s, u"項目名稱#數量;"_s, u"#;甜點#1,234;only;a#b#c;"_s);
    QStringList rows = vsp.document().tableRows();
    EXPECT_EQ(rows.mid(2),
        (QStringList { u"項目名稱|數量;"_s, u"|;"_s, u"甜點|1,234;"_s, u"only|;"_s, u"a|b#c;"_s }));
    EXPECT_TRUE(vsp.document().rowCells(2, 0)[0].header);
    const PrintItem right = vsp.document().rowCells(2, 2)[1];
    EXPECT_EQ(right.align, PrintAlign::Right);
    EXPECT_NEAR(right.lines[0].x + right.lines[0].width, right.rect.right() + 1 - 30, 1);

    // Rows handed in one call at a time under the same header stand under one header; a text
    // written in between starts a new table.
    vsp.addTable(u"<2400#>600;"_s, u"項目名稱#數量;"_s, u"炒飯#2;"_s);
    vsp.text(u"類別: 麵飯\r\n"_s);
    vsp.addTable(u"<2400#>600;"_s, u"項目名稱#數量;"_s, u"湯麵#3;"_s);
    vsp.addTable(u"<2400#>600;"_s, u"項目名稱#數量;"_s, u"炒麵#4;"_s);
    EXPECT_EQ(vsp.document().tableRows().mid(7),
        (QStringList { u"炒飯|2;"_s, u"項目名稱|數量;"_s, u"湯麵|3;"_s, u"炒麵|4;"_s }));
    EXPECT_EQ(vsp.document().rowCells(2, 5).value(0).text, u"炒飯"_s);
    EXPECT_EQ(vsp.document().rowCells(3, 2).value(0).text, u"炒麵"_s);

    EXPECT_THROW(vsp.setTableSeparators(u"##"_s), TavoError);
    EXPECT_THROW(vsp.setTableSeparators(u"|"_s), TavoError);
}

TEST(PrintSurface, MalformedTableFormatsAreReportedNotGuessed)
{
    PrintSurface vsp;
    vsp.startDoc();
    for (const QString &format :
        { u""_s, u";"_s, u"<abc|^850;"_s, u"<2800|^;"_s, u"99999999999;"_s, u"-5;"_s })
        EXPECT_THROW(vsp.addTable(format, QString(), u"a|b;"_s), TavoError) << format.toStdString();
    EXPECT_TRUE(vsp.document().tableRows().isEmpty());
    // A trailing separator before the end mark adds no column.
    vsp.addTable(u"<1000|1000|;"_s, QString(), u"a|b;"_s);
    EXPECT_EQ(vsp.document().rowCells(0, 0).size(), 2);
    // An empty body writes nothing at all.
    vsp.addTable(u"<1000;"_s, QString(), QString());
    EXPECT_EQ(vsp.document().tableRows().size(), 1);
}

TEST(PrintSurface, LongCellsAndLinesWrapInsideTheirWidth)
{
    PrintSurface vsp;
    vsp.setPaperSize(QSize(4535, 16838));
    vsp.startDoc();
    vsp.setFontName(u"Arial"_s);
    vsp.setFontSize(18);
    const QString longName = u"特製紅燒牛肉麵加大碗附小菜與飲料套餐超長品名"_s;
    vsp.addTable(u"<2800|^850;"_s, QString(), longName + u"|1;"_s);
    const QList<PrintItem> cells = vsp.document().rowCells(0, 0);
    ASSERT_EQ(cells.size(), 2);
    EXPECT_GT(cells[0].lines.size(), 1);
    EXPECT_EQ(cells[0].lineTexts().join(QString()), longName) << "wrapping loses no character";
    EXPECT_EQ(cells[1].rect.height(), cells[0].rect.height()) << "the row is as tall as its tallest cell";
    EXPECT_EQ(cells[1].lineTexts(), QStringList { u"1"_s });
    for (qsizetype i = 1; i < cells[0].lines.size(); ++i)
        EXPECT_EQ(cells[0].lines[i].baseline - cells[0].lines[i - 1].baseline, cells[0].lineHeight);

    vsp.setFontSize(10);
    const QString words
        = u"the quick brown fox jumps over the lazy dog and keeps running past the edge of the roll"_s;
    vsp.paragraph(words);
    const QStringList blocks = vsp.document().textBlocks();
    EXPECT_EQ(QString(blocks.last()).remove(u' '), QString(words).remove(u' '));
    for (const PrintItem &line : itemsOf(vsp.document(), PrintItemKind::Text)) {
        EXPECT_LE(line.rect.right(), 4535) << line.text.toStdString();
        EXPECT_FALSE(line.text.startsWith(u' ')) << "Latin text breaks between words";
    }
}

TEST(PrintSurface, ContentPastTheBottomMarginStartsANewPageAndRepeatsTheHeader)
{
    PrintSurface vsp;
    vsp.setPaperSize(QSize(11906, 3000));
    vsp.setMargins(QMargins(0, 400, 0, 400));
    vsp.startDoc();
    vsp.setFontSize(12);
    QString body;
    for (int i = 0; i < 30; ++i)
        body += u"row %1|%1;"_s.arg(i);
    vsp.addTable(u"<2000|>800;"_s, u"name|qty;"_s, body);
    const PrintDocument &doc = vsp.document();
    ASSERT_GT(doc.pageCount(), 2);
    for (int p = 0; p < doc.pageCount(); ++p) {
        const QList<PrintItem> &items = doc.pages[p].items;
        ASSERT_FALSE(items.isEmpty());
        EXPECT_TRUE(items.first().header) << "page " << p + 1 << " starts with the header";
        EXPECT_EQ(items.first().rect.top(), 400);
        EXPECT_LE(doc.contentBottom(p), 3000 - 400);
    }
    EXPECT_EQ(vsp.pageCount(), doc.pageCount());
    vsp.setPreview(true);
    vsp.endDoc();
    EXPECT_EQ(vsp.previewPage(), 1);
    vsp.setPreviewPage(99);
    EXPECT_EQ(vsp.previewPage(), doc.pageCount());
    vsp.setPreviewPage(-1);
    EXPECT_EQ(vsp.previewPage(), 1);
}

TEST(PrintSurface, DevicesAreMatchedExactlyAndEndDocSendsUnlessPreviewing)
{
    test::FakePrinterCatalog printers({ u"EPSON TM-T88"_s, u"Bar"_s });
    PrintSurface vsp;
    EXPECT_EQ(vsp.deviceCount(), 2);
    EXPECT_EQ(vsp.deviceName(1), u"Bar"_s);
    EXPECT_THROW(vsp.deviceName(2), TavoError);
    EXPECT_THROW(vsp.setDevice(u"epson tm-t88"_s), TavoError);
    EXPECT_THROW(vsp.setDevice(QString()), TavoError);
    vsp.setDevice(u"EPSON TM-T88"_s);

    vsp.setDocName(u".補印菜條: 0012"_s);
    vsp.startDoc();
    vsp.paragraph(u"hello"_s);
    vsp.setDocName(u"TavoKPortSrv"_s); // renaming after the start leaves the job's name alone
    vsp.endDoc();
    ASSERT_EQ(printers.jobs.size(), 1);
    EXPECT_EQ(printers.jobs[0].printer, u"EPSON TM-T88"_s);
    EXPECT_EQ(printers.jobs[0].document.name, u".補印菜條: 0012"_s);
    EXPECT_THROW(vsp.endDoc(), TavoError) << "ending twice is a fault, not a second ticket";

    vsp.setPreview(true);
    vsp.startDoc();
    vsp.paragraph(u"held"_s);
    vsp.endDoc();
    EXPECT_EQ(printers.jobs.size(), 1) << "a previewed document stays on the surface";
    vsp.printDoc(1, 1);
    EXPECT_EQ(printers.jobs.size(), 2);

    printers.refuseWith = u"queue paused"_s;
    vsp.setPreview(false);
    vsp.startDoc();
    vsp.paragraph(u"lost?"_s);
    try {
        vsp.endDoc();
        ADD_FAILURE() << "a refused job must not pass as printed";
    } catch (const TavoError &e) {
        EXPECT_TRUE(e.description().contains(u"queue paused"_s));
    }
    EXPECT_FALSE(vsp.isDocOpen());

    printers.failListing = true;
    EXPECT_THROW(vsp.deviceCount(), TavoError);
}

TEST(PrintSurface, ACallersSinkTakesTheEndedDocumentInsteadOfThePrinter)
{
    test::FakePrinterCatalog printers({ u"Kitchen"_s });
    test::KeepingSink kept;
    PrintSurface vsp;
    vsp.setDevice(u"Kitchen"_s);
    vsp.setSink(&kept);
    vsp.setPaperSize(QSize(4535, 1200));
    vsp.startDoc();
    for (int i = 0; i < 8; ++i)
        vsp.paragraph(u"line %1"_s.arg(i));
    vsp.endDoc();
    EXPECT_TRUE(printers.jobs.isEmpty());
    ASSERT_EQ(kept.documents.size(), 1);
    EXPECT_EQ(kept.documents[0].items(), vsp.document().items());
    ASSERT_GE(vsp.pageCount(), 2);
    vsp.printDoc(2, 2);
    ASSERT_EQ(kept.documents.size(), 2);
    EXPECT_EQ(kept.documents[1].pageCount(), 1);
    EXPECT_EQ(kept.documents[1].pages[0].items, vsp.document().pages[1].items);

    vsp.setPreview(true);
    vsp.startDoc();
    vsp.paragraph(u"held"_s);
    vsp.endDoc();
    EXPECT_EQ(kept.documents.size(), 2) << "preview outputs nothing, whatever the sink";

    kept.refuseWith = u"disk full"_s;
    vsp.setPreview(false);
    vsp.startDoc();
    vsp.paragraph(u"lost?"_s);
    try {
        vsp.endDoc();
        ADD_FAILURE() << "a refused document must not pass as output";
    } catch (const TavoError &e) {
        EXPECT_TRUE(e.description().contains(u"disk full"_s)) << e.description().toStdString();
    }

    vsp.setSink(nullptr);
    vsp.printDoc();
    EXPECT_EQ(printers.jobs.size(), 1) << "without a sink of its own the surface prints on its device";
}

TEST(PrintSurface, PrintingWithoutAPrinterFails)
{
    PrintSurface vsp;
    vsp.startDoc();
    vsp.paragraph(u"x"_s);
    EXPECT_THROW(vsp.endDoc(), TavoError);
    const PrintServices untouched;
    EXPECT_TRUE(untouched.printers->printerNames().isEmpty()) << "no catalog installed: no printers";
    QString error;
    EXPECT_FALSE(untouched.printers->print(vsp.document(), u"KitchenTM"_s, &error));
    EXPECT_TRUE(error.contains(u"KitchenTM"_s)) << error.toStdString();
}

TEST(PainterRenderer, DrawsWhereTheLayoutPlacedInkInItsColourAndThroughTheSinks)
{
    PrintSurface vsp;
    vsp.setPaperSize(QSize(4535, 3000));
    vsp.startDoc();
    vsp.setFontName(u"Arial"_s);
    vsp.setFontSize(16);
    vsp.setFontBold(true);
    vsp.paragraph(u"補印-0012 A05"_s);
    const PrintDocument black = vsp.document();
    vsp.setFontName(kRedDeviceFont);
    vsp.setTableBorder(3);
    vsp.addTable(u"<2800|^850;"_s, QString(), u"[退]牛肉麵 2份|[退];"_s);
    vsp.setFontName(kControlDeviceFont);
    vsp.text(u"C"_s);

    const QImage plain = PainterRenderer::toImage(black, 0, 150);
    EXPECT_GT(darkPixels(plain), 100);
    EXPECT_EQ(redPixels(plain), 0);
    EXPECT_LT(firstInkColumn(plain), plain.width() / 8);
    // The renderer draws at the recorded x, so moving a line moves its ink.
    PrintDocument moved = black;
    moved.pages[0].items[0].lines[0].x += 2000;
    EXPECT_GT(firstInkColumn(PainterRenderer::toImage(moved, 0, 150)), plain.width() * 2 / 5);

    // A justified line is drawn with the spacing the layout gave it: its ink reaches the margin.
    PrintSurface wide;
    wide.setPaperSize(QSize(6000, 1000));
    wide.startDoc();
    wide.setTextAlign(3);
    wide.paragraph(u"the quick brown fox jumps over the lazy dog and keeps running past the edge"_s);
    const QImage justified = PainterRenderer::toImage(wide.document(), 0, 144).copy(0, 0, 600, 20);
    const int inkFromTheRight = firstInkColumn(justified.mirrored(true, false));
    EXPECT_GE(inkFromTheRight, 0);
    EXPECT_LT(inkFromTheRight, 6);

    ImageSink images(150, true);
    vsp.setSink(&images);
    vsp.endDoc();
    ASSERT_EQ(images.pages().size(), 1);
    const QImage red = images.pages()[0];
    EXPECT_GT(redPixels(red), 100);
    EXPECT_LT(red.height(), plain.height()) << "cropping ends the image below the content";

    QTemporaryDir dir;
    PdfSink pdf(dir.filePath(u"ticket.pdf"_s));
    vsp.setSink(&pdf);
    vsp.printDoc();
    QFile file(pdf.path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(5).startsWith("%PDF"));
    PdfSink nowhere(dir.filePath(u"no/such/dir/x.pdf"_s));
    vsp.setSink(&nowhere);
    EXPECT_THROW(vsp.printDoc(), TavoError);
}
