// Locks on log files, in the pending folder: one running program at a time logs into a file.
#pragma once

#include <QLockFile>
#include <QString>
#include <map>
#include <memory>

namespace logging {

class LogLocks
{
public:
    // Without a folder nothing is locked.
    void setFolder(const QString &folder) { m_folder = folder; }
    // False while another running program holds the file's lock; else this program holds it now. A lock
    // left by a program that has ended is taken over.
    bool take(const QString &path);
    void release(const QString &path);

private:
    QString m_folder;
    // By the file's name as the system resolves it, so that two names of one file share a lock.
    std::map<QString, std::unique_ptr<QLockFile>> m_held;
    std::map<QString, QString> m_keys; // by the path as given
};

} // namespace logging
