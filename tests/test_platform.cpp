// The platform layer: code page, INI reader, settings store, prompters, single instance,
// child commands and devices.
#include "gui/application.h"
#include "gui/qtprompter.h"
#include "platform/codepage.h"
#include "platform/ini.h"
#include "platform/logindrestart.h"
#include "platform/prompters.h"
#include "platform/settingsstore.h"
#include "platform/singleinstance.h"
#include "platform/system.h"
#include "support/test_environment.h"
#include "util/globals.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tavo;
using namespace tavo::platform;
using tavo::test::TestEnvironment;

namespace {

const QByteArray kZhong = QByteArrayLiteral("\xA4\xA4"); // 中 in Big5
const QByteArray kWen = QByteArrayLiteral("\xA4\xE5"); // 文

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

// ---- code page -------------------------------------------------------------------------------

TEST(CodePage, RoundTripsBig5AndReplacesWhatItLacks)
{
    TestEnvironment env;
    EXPECT_EQ(toAnsi(u"中文 A1"_s), kZhong + kWen + " A1");
    EXPECT_EQ(fromAnsi(kZhong + kWen + " A1"), u"中文 A1"_s);
    EXPECT_EQ(toAnsi(u"€"_s), QByteArray("\xA3\xE1")); // CP950's own addition to Big5
    // A character Big5 lacks becomes "?" and the rest of the text survives.
    EXPECT_EQ(toAnsi(u"a😀b中"_s), QByteArray("a?b") + kZhong);
    EXPECT_EQ(toAnsi(u"ĳx"_s), QByteArray("?x"));
    // Broken input: a stray lead byte at the end, bytes that are no character.
    EXPECT_EQ(fromAnsi(QByteArray("ab\xA4")), u"ab?"_s);
    EXPECT_EQ(fromAnsi(QByteArray("\xFF"
                                  "A")
                  + kZhong),
        u"?A中"_s);
}

TEST(CodePage, CutsBytesWithoutSplittingACharacter)
{
    TestEnvironment env;
    const QByteArray text = "a" + kZhong + kWen; // 5 bytes: a 中 文
    EXPECT_EQ(CodePage::cutBytes(text, 5), text);
    EXPECT_EQ(CodePage::cutBytes(text, 4), "a" + kZhong); // 文 would straddle
    EXPECT_EQ(CodePage::cutBytes(text, 3), "a" + kZhong);
    EXPECT_EQ(CodePage::cutBytes(text, 2), QByteArray("a"));
    EXPECT_EQ(CodePage::cutBytes(text, 0), QByteArray());
    CodePage::setName("UTF-8");
    EXPECT_EQ(CodePage::cutBytes(u"a中"_s.toUtf8(), 3), QByteArray("a"));
    EXPECT_EQ(CodePage::byteWidth(u"a中"_s), 4);
}

// ---- INI -------------------------------------------------------------------------------------

TEST(GetINI, ReadsValuesLikeTheWindowsProfileReader)
{
    TestEnvironment env;
    env.writeIni(QByteArray("; site settings\r\n"
                            "[Other]\r\nGCNT=wrong\r\n"
                            "  [ param ]  \r\n"
                            "gcnt = Provider=SQLOLEDB;Data Source=srv \r\n"
                            "CustName=")
        + kZhong + kWen
        + "\r\n"
          "Quoted=\"  spaced  \"\r\n"
          ";DateSep=-\r\n"
          "Comment=a ; b\r\n"
          "Empty=\r\n"
          "NoEquals\r\n"
          "[PARAM]\r\nLater=second section\r\n");
    const QString ini = g().gINIFile;
    EXPECT_EQ(GetINI(ini, u"PARAM"_s, u"GCNT"_s), u"Provider=SQLOLEDB;Data Source=srv"_s);
    EXPECT_EQ(GetINI(ini, u"Param"_s, u"custname"_s), u"中文"_s);
    EXPECT_EQ(GetINI(ini, u"PARAM"_s, u"Quoted"_s), u"  spaced  "_s);
    EXPECT_EQ(GetINI(ini, u"PARAM"_s, u"DateSep"_s), QString()); // commented out
    EXPECT_EQ(GetINI(ini, u"PARAM"_s, u"Comment"_s), u"a ; b"_s); // no comments after values
    EXPECT_EQ(GetINI(ini, u"PARAM"_s, u"Empty"_s), QString());
    EXPECT_EQ(GetINI(ini, u"PARAM"_s, u"NoEquals"_s), QString());
    EXPECT_EQ(GetINI(ini, u"PARAM"_s, u"Missing"_s), QString());
    EXPECT_EQ(GetINI(ini, u"NOSECTION"_s, u"GCNT"_s), QString());
    EXPECT_EQ(GetINI(ini, u"Other"_s, u"GCNT"_s), u"wrong"_s);
    EXPECT_EQ(GetINI(env.path(u"absent.ini"_s), u"PARAM"_s, u"GCNT"_s), QString());
    EXPECT_EQ(GetINI(env.dir(), u"PARAM"_s, u"GCNT"_s), QString()); // a folder
    EXPECT_EQ(GetINI(QString(), u"PARAM"_s, u"GCNT"_s), QString());
}

TEST(GetINI, KeepsAtMost127BytesOfAValue)
{
    TestEnvironment env;
    const QByteArray exact(127, 'x');
    const QByteArray longer = QByteArray(127, 'y') + "ZZZ";
    // 126 ASCII bytes, then 中 straddling the 127th byte: the half character is left out.
    const QByteArray straddle = QByteArray(126, 'w') + kZhong + "tail";
    const QByteArray fits = QByteArray(125, 'v') + kZhong + "tail";
    env.writeIni("[PARAM]\nExact=" + exact + "\nLong=" + longer + "\nStraddle=" + straddle + "\nFits=" + fits
        + "\nNul=ab" + QByteArray(1, '\0') + "cd\n");
    const QString ini = g().gINIFile;
    EXPECT_EQ(GetINI(ini, u"PARAM"_s, u"Exact"_s), QString::fromLatin1(exact));
    EXPECT_EQ(GetINI(ini, u"PARAM"_s, u"Long"_s), QString::fromLatin1(QByteArray(127, 'y')));
    EXPECT_EQ(GetINI(ini, u"PARAM"_s, u"Straddle"_s), QString::fromLatin1(QByteArray(126, 'w')));
    EXPECT_EQ(GetINI(ini, u"PARAM"_s, u"Fits"_s), QString::fromLatin1(QByteArray(125, 'v')) + u"中"_s);
    EXPECT_EQ(GetINI(ini, u"PARAM"_s, u"Nul"_s), u"ab"_s);
}

TEST(GetINI, SurvivesGarbageAndUnicodeFiles)
{
    TestEnvironment env;
    QByteArray garbage;
    for (int i = 0; i < 5000; ++i)
        garbage.append(char((i * 7919 + 13) % 256));
    env.writeIni(garbage + "\n[PARAM]\nKey=\xFF\xFE\x80ok\n" + garbage);
    EXPECT_EQ(GetINI(g().gINIFile, u"PARAM"_s, u"Key"_s), u"??ok"_s)
        << "bytes that are no Big5 turn to question marks, the rest is kept";

    // Saved by a Unicode editor: the value arrives the same, byte limits counted in Big5.
    env.writeIni("\xEF\xBB\xBF[PARAM]\r\nCustName=" + u"中文"_s.toUtf8() + "\r\n");
    EXPECT_EQ(GetINI(g().gINIFile, u"PARAM"_s, u"CustName"_s), u"中文"_s);
    QByteArray utf16("\xFF\xFE");
    const QString text = u"[PARAM]\r\nCustName=中文\r\n"_s;
    utf16.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    env.writeIni(utf16);
    EXPECT_EQ(GetINI(g().gINIFile, u"PARAM"_s, u"CustName"_s), u"中文"_s);
}

TEST(GetINI, RandomFilesNeverGiveMoreThan127Bytes)
{
    TestEnvironment env;
    const QByteArray pieces[] = { "[", "]", "=", "\n", "\r\n", ";", " ", "\t", "\"", "PARAM", "param", "GCNT",
        "\xA4", "\xA4\xA4", "\xFF", QByteArray(1, '\0'), "\xEF\xBB\xBF", "x", QByteArray(60, 'v') };
    QRandomGenerator random(20261207);
    for (int round = 0; round < 400; ++round) {
        QByteArray content;
        const int count = random.bounded(1, 80);
        for (int i = 0; i < count; ++i)
            content += pieces[random.bounded(int(std::size(pieces)))];
        const QString value = iniValue(content, u"PARAM"_s, u"GCNT"_s);
        EXPECT_LE(toAnsi(value).size(), kIniValueBytes) << content.toHex().toStdString();
        EXPECT_FALSE(value.contains(QChar(0)));
    }
}

// ---- settings store --------------------------------------------------------------------------

TEST(QSettingsStore, KeysAndSectionsIgnoreCaseAndPersist)
{
    QTemporaryDir dir;
    {
        QSettingsStore store(dir.path());
        EXPECT_EQ(store.filePath(u"Tavo3"_s), dir.path() + u"/Tavo3/Tavo3.conf"_s);
        EXPECT_EQ(store.get(u"Tavo3"_s, u"TavoC"_s, u"DEFKPORT"_s, u"PK"_s), u"PK"_s);
        store.save(u"Tavo3"_s, u"KP"_s, u"KPortForm"_s, u"Y"_s);
        store.save(u"Tavo3"_s, u"TavoC"_s, u"Printer"_s, u"廚房 EPSON"_s);
        store.save(u"Tavo3"_s, u"SYS"_s, u"POSID"_s, QString());
    }
    QSettingsStore again(dir.path());
    EXPECT_EQ(again.get(u"Tavo3"_s, u"KP"_s, u"KPortFORM"_s), u"Y"_s);
    EXPECT_EQ(again.get(u"Tavo3"_s, u"kp"_s, u"kportform"_s), u"Y"_s);
    EXPECT_EQ(again.get(u"Tavo3"_s, u"TAVOC"_s, u"printer"_s), u"廚房 EPSON"_s);
    // A stored empty value is a value: the default is only for a missing key.
    EXPECT_EQ(again.get(u"Tavo3"_s, u"SYS"_s, u"POSID"_s, u"WS01"_s), QString());
    again.save(u"Tavo3"_s, u"kp"_s, u"KPORTFORM"_s, u"N"_s);
    EXPECT_EQ(again.get(u"Tavo3"_s, u"KP"_s, u"KPortForm"_s), u"N"_s);
}

TEST(QSettingsStore, ReadsHandEditedSpellings)
{
    QTemporaryDir dir;
    QSettingsStore store(dir.path());
    QDir().mkpath(dir.path() + u"/Tavo3"_s);
    writeFile(store.filePath(u"Tavo3"_s), "[TavoC]\nShutTime=03:30\n[tavoc]\nDefKPort=PB\n");
    EXPECT_EQ(store.get(u"Tavo3"_s, u"TavoC"_s, u"SHUTTIME"_s), u"03:30"_s);
    EXPECT_EQ(store.get(u"Tavo3"_s, u"TAVOC"_s, u"DEFKPORT"_s), u"PB"_s);
    store.save(u"Tavo3"_s, u"TavoC"_s, u"ShutTime"_s, u"04:00"_s);
    EXPECT_EQ(store.get(u"Tavo3"_s, u"TavoC"_s, u"shuttime"_s), u"04:00"_s);
    EXPECT_EQ(store.get(u"Tavo3"_s, u"TavoC"_s, u"DefKPort"_s), u"PB"_s);
}

TEST(QSettingsStore, GarbledFileGivesDefaultsAndNoCrash)
{
    QTemporaryDir dir;
    QSettingsStore store(dir.path());
    QDir().mkpath(dir.path() + u"/Tavo3"_s);
    QByteArray garbage("\x00\x01\xFF=\n[[[\n=\n@Variant(\x01\x02)\n", 22);
    for (int i = 0; i < 3000; ++i)
        garbage.append(char((i * 31 + 7) % 256));
    writeFile(store.filePath(u"Tavo3"_s), garbage);
    EXPECT_EQ(store.get(u"Tavo3"_s, u"TavoC"_s, u"DEFKPORT"_s, u"PK"_s), u"PK"_s);
    store.save(u"Tavo3"_s, u"TavoC"_s, u"DEFKPORT"_s, u"PB"_s);
    EXPECT_EQ(store.get(u"Tavo3"_s, u"TavoC"_s, u"DEFKPORT"_s, u"PK"_s), u"PB"_s) << "a choice is not lost";
}

TEST(QSettingsStore, DamagedFileKeepsWhatCanBeReadAndACopy)
{
    QTemporaryDir dir;
    QSettingsStore store(dir.path());
    QDir().mkpath(dir.path() + u"/Tavo3"_s);
    const QByteArray damaged("[TAVOC\nDEFKPORT=PB\n");
    writeFile(store.filePath(u"Tavo3"_s), damaged);
    EXPECT_EQ(store.get(u"Tavo3"_s, u"TavoC"_s, u"DEFKPORT"_s, u"PK"_s), u"PB"_s);
    store.save(u"Tavo3"_s, u"TavoC"_s, u"Printer"_s, u"EPSON"_s);
    EXPECT_EQ(store.get(u"Tavo3"_s, u"TavoC"_s, u"DEFKPORT"_s, u"PK"_s), u"PB"_s);
    EXPECT_EQ(store.get(u"Tavo3"_s, u"TavoC"_s, u"Printer"_s), u"EPSON"_s);
    EXPECT_EQ(test::TestEnvironment::readBytes(store.filePath(u"Tavo3"_s) + u".bad"_s), damaged);
}

// ---- prompters -------------------------------------------------------------------------------

TEST(HeadlessPrompter, AnswersWithTheDefaultButtonAndWritesTheBox)
{
    std::FILE *out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    HeadlessPrompter prompter(out, true);
    EXPECT_EQ(prompter.ask(u"TavoKPortSrv"_s, u"確定要結束?"_s, BoxIcon::Question, BoxButtons::YesNo),
        BoxAnswer::No);
    EXPECT_EQ(
        prompter.ask(u"TavoKPortSrv"_s, u"列印完成"_s, BoxIcon::Information, BoxButtons::Ok), BoxAnswer::Ok);
    prompter.beep();
    std::rewind(out);
    QByteArray written;
    char buffer[512];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, out))
        written.append(buffer, qsizetype(n));
    std::fclose(out);
    const QString text = QString::fromUtf8(written);
    EXPECT_TRUE(text.contains(u"[TavoKPortSrv]\n確定要結束?\n"_s)) << text.toStdString();
    EXPECT_TRUE(text.contains(u"列印完成"_s));
    EXPECT_TRUE(text.endsWith(u'\a'));
}

TEST(QtPrompter, QuestionDefaultsToNoAndButtonsReadInChinese)
{
    ASSERT_TRUE(tavo::gui::installQtTranslations()) << "qtbase_zh_TW.qm of qt6-translations-l10n";
    // The box is answered with its default button as soon as it shows: that must be No.
    tavo::gui::QtPrompter prompter;
    QStringList captions;
    QTimer::singleShot(0, [&captions] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(w); box != nullptr && box->isVisible()) {
                for (QAbstractButton *button : box->buttons())
                    captions << button->text().remove(u'&');
                box->defaultButton()->click();
                return;
            }
        }
    });
    EXPECT_EQ(prompter.ask(u"t"_s, u"q"_s, BoxIcon::Question, BoxButtons::YesNo), BoxAnswer::No);
    captions.sort();
    ASSERT_EQ(captions.size(), 2);
    EXPECT_TRUE(captions[0].startsWith(u"否"_s) && captions[1].startsWith(u"是"_s))
        << captions.join(u' ').toStdString();
}

// ---- single instance -------------------------------------------------------------------------

TEST(SingleInstance, SecondHolderIsRefusedUntilTheFirstLetsGo)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"TavoKPortSrv.lock"_s);
    SingleInstance first(path);
    SingleInstance second(path);
    EXPECT_TRUE(first.acquire());
    EXPECT_TRUE(first.acquire()) << "asking again keeps the lock";
    EXPECT_FALSE(second.acquire());
    first.release();
    EXPECT_TRUE(second.acquire());
}

TEST(SingleInstance, LockOfADeadProcessIsTakenOver)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"TavoKPortSrv.lock"_s);
    // A lock left by a copy that crashed: a process id that is not running.
    writeFile(path, "2147480000\nTavoKPortSrv\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    SingleInstance instance(path);
    EXPECT_TRUE(instance.acquire());
}

// ---- commands and devices --------------------------------------------------------------------

TEST(ShellWait, ReturnsTheExitCodeOrANegativeStartError)
{
    EXPECT_EQ(ShellWait(u"sh -c \"exit 3\""_s), 3);
    EXPECT_EQ(ShellWait(u"true"_s, 99), 0);
    EXPECT_EQ(ShellWait(u"no-such-command-tavo --x"_s), kErrFileNotFound + kUserErrorBase);
    EXPECT_LT(ShellWait(u"/nonexistent/cmd"_s), 0);
    EXPECT_LT(ShellWait(QString()), 0);
    EXPECT_EQ(ShellWait(u"sh -c \"kill -9 $$\""_s), kCrashExitCode) << "a crash is no success";
}

TEST(ShellWait, LetsWindowEventsRunWhileWaiting)
{
    bool ran = false;
    QTimer::singleShot(50, [&] { ran = true; });
    EXPECT_EQ(ShellWait(u"sleep 0.4"_s), 0);
    EXPECT_TRUE(ran);
}

TEST(ShellWait, ClampsTheWindowStyle)
{
    EXPECT_EQ(clampWindowStyle(-1), 6);
    EXPECT_EQ(clampWindowStyle(7), 6);
    EXPECT_EQ(clampWindowStyle(0), 0);
}

TEST(Ports, NamesMapToDevicesAndOnlyPortsOpen)
{
    EXPECT_EQ(portDevicePath(u"COM1"_s), u"/dev/ttyS0"_s);
    EXPECT_EQ(portDevicePath(u"com3:"_s), u"/dev/ttyS2"_s);
    EXPECT_EQ(portDevicePath(u"LPT1"_s), u"/dev/lp0"_s);
    EXPECT_EQ(portDevicePath(u"SCREEN"_s), QString());
    EXPECT_EQ(portDevicePath(u"COM0"_s), QString());

    QTemporaryDir dir;
    const QString device = dir.filePath(u"fake-tty"_s);
    writeFile(device, {});
    qputenv("TAVO_PORT_COM7", QFile::encodeName(device));
    EXPECT_EQ(portDevicePath(u"COM7"_s), device);
    EXPECT_TRUE(PortCanOpen(u"com7"_s));
    qputenv("TAVO_PORT_LPT9", QFile::encodeName(dir.filePath(u"missing"_s)));
    EXPECT_FALSE(PortCanOpen(u"LPT9"_s));
    qunsetenv("TAVO_PORT_COM7");
    qunsetenv("TAVO_PORT_LPT9");
    // Other names are never opened, even when such a file exists in the working folder.
    EXPECT_FALSE(PortCanOpen(u"SCREEN"_s));
    EXPECT_FALSE(PortCanOpen(device));
}

TEST(SystemHelpers, FilesFoldersUserAndMachine)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(u"a.txt"_s);
    writeFile(file, "x");
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(FileExists(dir.path()));
    EXPECT_FALSE(FileExists(dir.filePath(u"none"_s)));
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_TRUE(DirExists(dir.path()));
    EXPECT_FALSE(DirExists(file));
    EXPECT_FALSE(DirExists(QString()));
    EXPECT_FALSE(GetLogonUser().isEmpty());
    EXPECT_FALSE(GetPCName().isEmpty());
}

TEST(LogindRestart, AForcedRequestPassesTheInhibitors)
{
    // logind's numbers (SD_LOGIND_SKIP_INHIBITORS, SD_LOGIND_ROOT_CHECK_INHIBITORS); the request
    // itself is tested against logind's interface in test_systemd.
    EXPECT_EQ(LogindRestart::flags(true), quint64(1) << 4);
    EXPECT_EQ(LogindRestart::flags(false), quint64(1) << 0);
}
