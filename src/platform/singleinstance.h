#pragma once
// One running copy per machine user: a lock file in the runtime folder, released when the
// process ends (also when it crashes: a stale lock of a dead process is taken over).
#include <QString>
#include <memory>

class QLockFile;

namespace tavo::platform {

class SingleInstance {
public:
    // The default lock is "TavoKPortSrv.lock" in the runtime folder (the temporary folder without one).
    SingleInstance();
    explicit SingleInstance(QString lockPath);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // True when this object holds the lock (again true on a second call); false when another
    // copy holds it.
    bool acquire();
    void release();
    QString lockPath() const { return m_path; }

    static QString defaultLockPath();

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace tavo::platform
