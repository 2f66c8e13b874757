// Pending files put into the program's pending folder by someone else, and the files they aim at: the
// program must obey none of them.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <sys/types.h>

class PlantedFiles
{
public:
    static constexpr int Kinds = 4;

    // `folder` is the program's pending folder; `user` the console's user when it is not the campaign's.
    PlantedFiles(const QString &work, const QString &folder, std::optional<uid_t> user);
    // Puts one of the given kind in; false when the folder is not there yet or the kind cannot be made.
    bool plant(int kind);

    // Bytes of planted lines in the files they aim at and in the logs.
    qint64 foreignBytes(const QStringList &logs) const;
    // "planted 7 (others may write 2, ...), set aside 7"; `clean` false unless all were set aside.
    QString summary(bool &clean) const;

private:
    bool put(const QString &path, const QByteArray &text, int mode, bool toUser) const;

    QString m_work, m_folder, m_log, m_notes;
    std::optional<uid_t> m_user;
    int m_planted[Kinds] = {};
    int m_count = 0;
};
