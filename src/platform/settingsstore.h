#pragma once
// The per-user settings store, in place of the registry branch of the Windows programs:
// one INI file per application, $XDG_CONFIG_HOME/<app>/<app>.conf ("Tavo3/Tavo3.conf").
#include "platform/services.h"

namespace tavo::platform {

class QSettingsStore : public SettingsStore {
public:
    // Files under the user's configuration folder, or under `baseDir` when given.
    explicit QSettingsStore(QString baseDir = {});

    QString get(const QString &app, const QString &section, const QString &key,
        const QString &defaultValue = {}) const override;
    void save(const QString &app, const QString &section, const QString &key, const QString &value) override;

    QString filePath(const QString &app) const;

private:
    QString m_baseDir;
};

} // namespace tavo::platform
