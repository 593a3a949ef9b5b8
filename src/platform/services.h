#pragma once
// The seams between the service and the machine it runs on. Production code reaches the
// clock, message boxes, the settings store and the system restart only through
// these interfaces, so tests can install scripted stand-ins and nothing blocks or reboots.
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace tavo::platform {

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // A blocking pause (no window events). The test clock advances instead of sleeping.
    virtual void sleepMs(int ms) = 0;
};

enum class BoxIcon { None, Information, Warning, Question, Critical };
enum class BoxButtons { Ok, YesNo };
enum class BoxAnswer { Ok, Yes, No };

class Prompter {
public:
    virtual ~Prompter() = default;
    // A modal message box; returns the button pressed.
    virtual BoxAnswer ask(const QString &title, const QString &text, BoxIcon icon, BoxButtons buttons) = 0;
    virtual void beep() = 0;
    // The program is ending and waits for nobody: every box open now closes with its default
    // answer, and every later one is given that answer without being shown.
    virtual void dismissAll() { }
};

// Per-user settings: text values addressed by application, section and key. Section and key
// compare without regard to letter case.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual QString get(const QString &app, const QString &section, const QString &key,
        const QString &defaultValue = {}) const = 0;
    virtual void save(const QString &app, const QString &section, const QString &key, const QString &value)
        = 0;
};

// The forced restart of the whole machine at the configured time of day.
class SystemRestart {
public:
    virtual ~SystemRestart() = default;
    // Asks the system to restart (or power off) the machine; `force` asks no running program.
    // True when the system took the request; false with the system's reason in `error` when it
    // refused or could not be asked. Never throws.
    virtual bool restart(bool reboot, bool force, QString *error = nullptr) = 0;
};

// The process-wide set of seams. main() installs the real ones; tests install fakes. Never null:
// until something is installed, each seam is a harmless default (the system clock, boxes answered
// on standard error, the user's settings file, and a restart that is always refused). The printers
// are a seam of the print library.
struct Services {
    Services();
    Clock *clock;
    Prompter *prompter;
    SettingsStore *settings;
    SystemRestart *restart;
};

Services &services();

} // namespace tavo::platform
