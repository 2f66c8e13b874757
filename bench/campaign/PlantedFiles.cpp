// Pending files put into the program's pending folder by someone else, and the files they aim at: the
// program must obey none of them.
#include "PlantedFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray Planted = QByteArrayLiteral("planted by the campaign\r\n");
// What a log of the program starts with, so that only the checks of the pending file protect it.
const QByteArray LogStart = QByteArrayLiteral("KX4136\t28 00 00 00 00 00 00 00\r\n");
const QByteArray NotesStart = QByteArrayLiteral("# the user's notes\n");
const char *const KindNames[PlantedFiles::Kinds]
    = {"others may write", "another user's", "a symbolic link", "aimed at a file not a log"};

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

PlantedFiles::PlantedFiles(const QString &work, const QString &folder, std::optional<uid_t> user)
    : m_work(work)
    , m_folder(folder)
    , m_log(work + QStringLiteral("/other-log.txt"))
    , m_notes(work + QStringLiteral("/notes.txt"))
    , m_user(user)
{
    // Both writable by the console's user: nothing but its checks keeps the lines out.
    put(m_log, LogStart, 0644, true);
    put(m_notes, NotesStart, 0644, true);
}

bool PlantedFiles::plant(int kind)
{
    // Another user's file needs the campaign to be another user than the console.
    if (!QFileInfo(m_folder).isDir() || (kind == 1 && !m_user))
        return false;
    ++m_count;
    const QString name = QStringLiteral("%1/0000000000000-0000000-%2-000001.pending")
                             .arg(m_folder)
                             .arg(m_count, 4, 10, QLatin1Char('0'));
    const QString aim = kind == 3 ? m_notes : m_log;
    const QByteArray text
        = "KX4136 pending lines\t" + QUrl::toPercentEncoding(aim, "/\\: ") + "\t\r\n\r\n" + Planted;
    const QString file = kind == 2 ? QStringLiteral("%1/planted-%2.pending").arg(m_work).arg(m_count) : name;
    if (!put(file, text, kind == 0 ? 0666 : 0600, kind != 1))
        return false;
    if (kind == 2 && ::symlink(QFile::encodeName(file).constData(), QFile::encodeName(name).constData()) != 0)
        return false;
    ++m_planted[kind];
    return true;
}

bool PlantedFiles::put(const QString &path, const QByteArray &text, int mode, bool toUser) const
{
    QFile file(path);
    const QByteArray name = QFile::encodeName(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && (file.close(), true)
        && ::chmod(name.constData(), mode_t(mode)) == 0
        && (!toUser || !m_user || ::chown(name.constData(), *m_user, gid_t(-1)) == 0);
}

qint64 PlantedFiles::foreignBytes(const QStringList &logs) const
{
    qint64 bytes = 0;
    for (const auto &[path, start] : {std::pair {m_log, LogStart}, std::pair {m_notes, NotesStart}}) {
        const QByteArray now = contents(path);
        bytes += now == start ? 0 : std::max<qint64>(now.size() - start.size(), 1);
    }
    for (const QString &log : logs)
        bytes += contents(log).count(Planted) * Planted.size();
    return bytes;
}

QString PlantedFiles::summary(bool &clean) const
{
    QStringList kinds;
    int planted = 0;
    for (int kind = 0; kind < Kinds; ++kind) {
        kinds << QStringLiteral("%1 %2").arg(QLatin1String(KindNames[kind])).arg(m_planted[kind]);
        planted += m_planted[kind];
    }
    const auto aside = QDir(m_folder)
                           .entryList({QStringLiteral("*.refused"), QStringLiteral("*.refused.*")},
                               QDir::System | QDir::Files)
                           .size();
    clean = aside == planted;
    return QStringLiteral("planted files %1 (%2), set aside %3")
        .arg(planted)
        .arg(kinds.join(QStringLiteral(", ")))
        .arg(aside);
}
