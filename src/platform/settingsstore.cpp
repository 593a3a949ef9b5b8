#include "platform/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace tavo::platform {

namespace {

// Sections and keys are written upper-case, so one spelling per name reaches the file whatever
// case a caller uses ("KPortForm" and "KPortFORM" are one key, as in the registry). The
// separators QSettings treats as nesting have no meaning in a registry name.
QString canonical(const QString &name)
{
    QString n = name.toUpper();
    n.replace(u'/', u'_');
    n.replace(u'\\', u'_');
    return n;
}

// A name present in the file in another case (a file edited by hand or written before the
// canonical case): the stored spelling.
QString findIgnoringCase(const QStringList &names, const QString &wanted)
{
    for (const QString &n : names) {
        if (n.compare(wanted, Qt::CaseInsensitive) == 0)
            return n;
    }
    return {};
}

// Files found damaged. QSettings reports a parse error only to the first reader of a file (later
// ones share its parsed copy), so the finding is kept until the next write.
QSet<QString> &damagedFiles()
{
    static QSet<QString> files;
    return files;
}

void noteDamage(const QSettings &settings, const QString &file)
{
    if (settings.status() == QSettings::FormatError)
        damagedFiles().insert(file);
}

} // namespace

QSettingsStore::QSettingsStore(QString baseDir)
    : m_baseDir(std::move(baseDir))
{
    if (m_baseDir.isEmpty())
        m_baseDir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString QSettingsStore::filePath(const QString &app) const
{
    const QString name = app.isEmpty() ? u"Tavo3"_s : app;
    return m_baseDir + u'/' + name + u'/' + name + u".conf"_s;
}

QString QSettingsStore::get(
    const QString &app, const QString &section, const QString &key, const QString &defaultValue) const
{
    try {
        // A damaged file still gives what can be read of it; the rest reads as defaults.
        QSettings settings(filePath(app), QSettings::IniFormat);
        noteDamage(settings, filePath(app));
        const QString group = canonical(section);
        const QString name = canonical(key);
        const QString path = group + u'/' + name;
        if (settings.contains(path))
            return settings.value(path).toString();

        for (const QString &storedGroup : settings.childGroups()) {
            if (storedGroup.compare(section, Qt::CaseInsensitive) != 0)
                continue;
            settings.beginGroup(storedGroup);
            const QString storedKey = findIgnoringCase(settings.childKeys(), key);
            if (!storedKey.isEmpty())
                return settings.value(storedKey).toString();
            settings.endGroup();
        }
        return defaultValue;
    } catch (...) {
        return defaultValue;
    }
}

void QSettingsStore::save(
    const QString &app, const QString &section, const QString &key, const QString &value)
{
    const QString file = filePath(app);
    QDir().mkpath(QFileInfo(file).absolutePath());
    {
        QSettings probe(file, QSettings::IniFormat);
        noteDamage(probe, file);
        if (damagedFiles().remove(file)) {
            // Writing keeps only what could be read of a damaged file; a copy of the whole of it
            // stays beside for a look.
            const QString aside = file + u".bad"_s;
            QFile::remove(aside);
            QFile::copy(file, aside);
        }
    }
    QSettings settings(file, QSettings::IniFormat);
    const QString group = canonical(section);
    const QString name = canonical(key);
    // Spellings in another case would shadow the canonical one for readers that look them up first.
    const QString storedGroup = findIgnoringCase(settings.childGroups(), section);
    if (!storedGroup.isEmpty()) {
        settings.beginGroup(storedGroup);
        for (const QString &k : settings.childKeys()) {
            if (k.compare(key, Qt::CaseInsensitive) == 0 && (storedGroup != group || k != name))
                settings.remove(k);
        }
        settings.endGroup();
    }
    settings.setValue(group + u'/' + name, value);
    settings.sync();
}

} // namespace tavo::platform
