#pragma once
// Stand-ins for the machine: a clock that only moves when told, message boxes answered from a
// script, settings in memory, a restart that is only written down. TestEnvironment puts them
// all in place for one test, with fresh globals and a temporary program folder.
#include "db/site.h"
#include "platform/services.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QQueue>
#include <QString>
#include <QTemporaryDir>
#include <QVector>
#include <functional>

namespace tavo::test {

class FakeClock : public platform::Clock {
public:
    FakeClock();
    QDateTime now() const override { return m_now; }
    // Advances the time by the pause instead of waiting.
    void sleepMs(int ms) override;

    void set(const QDateTime &when) { m_now = when; }
    void advance(qint64 ms) { m_now = m_now.addMSecs(ms); }

    // Every pause asked for, in order.
    QVector<int> sleeps;
    // Called at each pause, before the time moves (for a test that acts in the middle of a step).
    std::function<void(int ms)> onSleep;

    // 2026-12-07 14:05:09, local time.
    static QDateTime start();

private:
    QDateTime m_now;
};

class ScriptedPrompter : public platform::Prompter {
public:
    struct Box {
        QString title, text;
        platform::BoxIcon icon;
        platform::BoxButtons buttons;
    };

    platform::BoxAnswer ask(const QString &title, const QString &text, platform::BoxIcon icon,
        platform::BoxButtons buttons) override;
    void beep() override { ++beeps; }

    // The answer of the next box; without one a box gets its default (OK, or No for a question).
    void queueAnswer(platform::BoxAnswer answer) { m_answers.enqueue(answer); }
    qsizetype pendingAnswers() const { return m_answers.size(); }

    QVector<Box> boxes;
    int beeps = 0;
    // Called with each box before it is answered (for a test that acts while a box is up).
    std::function<void(const Box &)> onBox;

private:
    QQueue<platform::BoxAnswer> m_answers;
};

class MemorySettings : public platform::SettingsStore {
public:
    QString get(const QString &app, const QString &section, const QString &key,
        const QString &defaultValue = {}) const override;
    void save(const QString &app, const QString &section, const QString &key, const QString &value) override;

    bool contains(const QString &app, const QString &section, const QString &key) const;
    void clear() { m_values.clear(); }
    // The number of save calls.
    int saves = 0;

private:
    static QString slot(const QString &app, const QString &section, const QString &key);
    QHash<QString, QString> m_values;
};

class RecordingRestart : public platform::SystemRestart {
public:
    struct Call {
        bool reboot;
        bool force;
    };
    bool restart(bool reboot, bool force, QString *error) override
    {
        calls.append({ reboot, force });
        if (error)
            *error = refusal;
        return refusal.isEmpty();
    }
    QVector<Call> calls;
    QString refusal; // the system's answer when it refuses; empty: every request is taken
};

// The connection strings of the PostgreSQL server ./test.sh starts (TAVO_TEST_PG_*), through Qt's
// driver or through ODBC; empty when no server is configured.
QString postgresConnectionString();
QString postgresOdbcConnectionString();

// Puts every process-wide value back as a fresh program has it: the globals, the code page, the
// main and message connections (closed, without a statement hook), the ticket window (unloaded),
// the echo's sink and Qt's message handler.
void resetProcessState();

// What the process writes on standard error (file descriptor 2, whoever writes: the echo, Qt's
// handler, a C library) while it lives; text() ends the capture.
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture &) = delete;
    StderrCapture &operator=(const StderrCapture &) = delete;
    QString text();

private:
    void restore();
    QTemporaryDir m_dir;
    int m_saved = -1;
    QString m_text;
};

// One test's world: fresh process state (resetProcessState), a temporary <dir> holding TavoC.INI and both
// logs, and the fakes above in services(); everything is put back on destruction.
class TestEnvironment {
public:
    TestEnvironment();
    ~TestEnvironment();
    TestEnvironment(const TestEnvironment &) = delete;
    TestEnvironment &operator=(const TestEnvironment &) = delete;

    FakeClock clock;
    ScriptedPrompter prompter;
    MemorySettings settings;
    RecordingRestart restart;

    // The site a service of this test works with: this environment's values and fakes over `cnt`.
    Site site(db::Connection &cnt) { return { g(), cnt, platform::services() }; }

    QString dir() const;
    // A path inside the temporary folder.
    QString path(const QString &name) const;

    // Writes TavoC.INI byte for byte (Big5 content as a site would have it).
    void writeIni(const QByteArray &big5Content) const;
    // Both logs decoded from the code page; empty when the file does not exist.
    QString readLog() const;
    QString readErr() const;
    // The logs as bytes, for checks byte for byte.
    QByteArray readLogBytes() const;
    QByteArray readErrBytes() const;

    static QByteArray readBytes(const QString &path);
    // Big5 bytes of a text, through iconv independently of the code under test.
    static QByteArray big5(const QString &text);

private:
    QTemporaryDir m_dir;
    platform::Services m_previous;
    QByteArray m_previousCodePage;
};

} // namespace tavo::test
