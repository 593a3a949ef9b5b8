// The station's configuration against the settings file the station has always written: the same
// sections, keys and values, so a site's file reads the same after any view changed it.
#include "core/stationconfig.h"
#include "db/connection.h"
#include "platform/settingsstore.h"
#include "support/test_environment.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tavo;
using core::StationConfig;

namespace {

class StationConfigTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cnt.open(u"Provider=SQLite;Data Source=:memory:"_s);
        cnt.execute(u"CREATE TABLE xxPARAM (ParamID TEXT, ParamValue TEXT, FileDate TEXT, UpdDate TEXT)"_s);
    }
    void param(const QString &id, const QString &value)
    {
        cnt.execute(u"INSERT INTO xxPARAM (ParamID, ParamValue) VALUES ('%1', '%2')"_s.arg(id, value));
    }
    QByteArray file(const QString &dir) const
    {
        return test::TestEnvironment::readBytes(platform::QSettingsStore(dir).filePath(u"Tavo3"_s));
    }

    test::TestEnvironment env;
    db::Connection cnt;
};

// Every value, saved by the object and saved as the station wrote it before, gives one file; a
// fresh object reads every value back from it.
TEST_F(StationConfigTest, EveryValueRoundTripsThroughTheSettingsFileAsTheStationWroteIt)
{
    const QString mine = env.path(u"config"_s), before = env.path(u"before"_s);
    platform::QSettingsStore store(mine), written(before);
    StationConfig config(store);
    QSignalSpy changed(&config, &StationConfig::changed);

    config.setPort(u"PB"_s);
    config.setPrinter(u"Bob's TM [吧台]"_s);
    config.setPrinterType(u"EPSONTM"_s);
    config.setPrintList(true);
    config.setPrintItem(false);
    config.setOrderForm(true);
    config.setShutTime(u"  "_s);
    config.storeShutTime(); // blank: not saved
    config.setShutTime(u"03:05"_s);
    config.storeShutTime();
    EXPECT_EQ(changed.size(), 7);

    const struct {
        const char *section, *key, *value;
    } before_[] = {
        { "TavoC", "DEFKPORT", "PB" },
        { "TavoC", "Printer", "Bob's TM [吧台]" },
        { "TavoC", "PrinterType", "EPSONTM" },
        { "TavoC", "PrintList", "Y" },
        { "TavoC", "PrintItem", "N" },
        { "KP", "KPortForm", "Y" },
        { "TavoC", "ShutTime", "03:05" },
    };
    for (const auto &b : before_)
        written.save(
            u"Tavo3"_s, QString::fromUtf8(b.section), QString::fromUtf8(b.key), QString::fromUtf8(b.value));
    EXPECT_EQ(file(mine), file(before));
    EXPECT_FALSE(file(mine).isEmpty());

    StationConfig again(store);
    again.read(cnt);
    EXPECT_EQ(again.port(), u"PB"_s);
    EXPECT_EQ(again.printer(), u"Bob's TM [吧台]"_s);
    EXPECT_EQ(again.printerType(), u"EPSONTM"_s);
    EXPECT_TRUE(again.printList());
    EXPECT_FALSE(again.printItem());
    EXPECT_TRUE(again.orderForm());
    EXPECT_EQ(again.shutTime(), u"03:05"_s);
    EXPECT_FALSE(again.alertQty());
    EXPECT_EQ(file(mine), file(before)) << "reading writes nothing";
}

// A new site: the defaults; the alert quantity turns the order's form off and says so in the file.
TEST_F(StationConfigTest, DefaultsAndTheAlertQuantityOverTheOrderForm)
{
    StationConfig config(env.settings);
    config.read(cnt);
    EXPECT_EQ(config.port(), u"PK"_s);
    EXPECT_FALSE(config.printList() || config.printItem() || config.orderForm());
    EXPECT_TRUE(config.readWakeOnCommit());
    EXPECT_EQ(env.settings.saves, 0) << "reading a new site writes nothing";

    env.settings.save(u"Tavo3"_s, u"KP"_s, u"KPortFORM"_s, u"Y"_s);
    env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"WakeOnCommit"_s, u"n"_s);
    param(u"KPAlertQty"_s, u"y"_s);
    config.read(cnt);
    EXPECT_TRUE(config.alertQty());
    EXPECT_FALSE(config.orderForm());
    EXPECT_EQ(env.settings.get(u"Tavo3"_s, u"KP"_s, u"KPortForm"_s), u"N"_s);
    EXPECT_FALSE(config.readWakeOnCommit());
}

} // namespace
