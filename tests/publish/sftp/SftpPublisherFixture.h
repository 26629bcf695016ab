#pragma once
// What the SFTP publisher tests share: a real OpenSSH server started for
// each test, a local folder, and the reports of a publish.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>
#include <optional>
#include <unistd.h>

#include "support/QtPrint.h"
#include "support/SshServer.h"
#include "publish/FtpErrors.h"
#include "publish/sftp/SftpPublisher.h"
#include "project/Project.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace velmora::test {


inline QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char& c : bytes) c = static_cast<char>(generator.bounded(256));
    return bytes;
}

// What a publish reported, and on which thread.
struct Reports {
    QStringList statuses;
    QList<QPair<int, int>> started;
    QList<int> confirmed;
    QList<qint64> bytes;
    bool allOnCallersThread = true;
};

class SftpPublisherTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.isRunning()); }

    PublishDestination destination(const QByteArray& directory = "site",
                                   const QByteArray& password = SshServer::password()) const
    {
        PublishDestination where;
        where.protocol = PublishProtocol::Sftp;
        where.host = QStringLiteral("127.0.0.1");
        where.port = server.port();
        where.user = SshServer::user();
        where.password = password;
        where.directory = directory;
        where.timeOutMs = 20000;
        return where;
    }

    void trustServer() const { writeFile(knownHosts, server.knownHostsLine()); }

    QString remote(const QString& name) const { return server.home() + u'/' + name; }

    // A folder on the server that the user owns, as if made by an earlier upload.
    void makeUsersFolder(const QString& name) const
    {
        ASSERT_TRUE(QDir(server.home()).mkpath(name));
        ASSERT_EQ(::chown(QFile::encodeName(remote(name)).constData(), SshServer::userId(),
                          SshServer::userId()),
                  0);
    }

    // Publishes and returns the failure's text, or nothing on success.
    std::optional<QString> publish(SftpPublisher& publisher, const std::vector<UploadItem>& plan)
    {
        QThread* const caller = QThread::currentThread();
        auto here = [&] {
            if (QThread::currentThread() != caller) reports.allOnCallersThread = false;
        };
        QObject::connect(&publisher, &Publisher::status, [&](const QString& text) {
            here();
            reports.statuses << text;
        });
        QObject::connect(&publisher, &Publisher::fileStarted, [&](int index, int count) {
            here();
            reports.started.append({index, count});
        });
        QObject::connect(&publisher, &Publisher::fileConfirmed, [&](int index) {
            here();
            reports.confirmed << index;
        });
        QObject::connect(&publisher, &Publisher::fileBytesSent, [&](int, qint64 bytes) {
            here();
            reports.bytes << bytes;
        });
        try {
            publisher.publish(plan);
        } catch (const VelmoraError& e) {
            return e.text();
        }
        return std::nullopt;
    }

    std::optional<QString> publish(const std::vector<UploadItem>& plan,
                                   const PublishDestination& where, HostKeyTrust trust = {})
    {
        SftpPublisher publisher(where, knownHosts, std::move(trust));
        return publish(publisher, plan);
    }

    UploadItem localFile(const QString& name, const QByteArray& bytes, const QByteArray& remoteName)
    {
        local.write(name, bytes);
        return {UploadItem::Kind::Page, QFile::encodeName(local.file(name)), remoteName};
    }

    // Files the upload left under a temporary name anywhere below `folder`.
    static QStringList leftovers(const QString& folder)
    {
        QStringList found;
        const QDir dir(folder);
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
            if (name.startsWith(QLatin1String(".velmora-"))) found << dir.filePath(name);
        for (const QString& sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden))
            found += leftovers(dir.filePath(sub));
        return found;
    }

    TempDir local;
    SshServer server;
    QString knownHosts = local.file(QStringLiteral("known_hosts"));
    ScriptedPrompter prompter;
    Reports reports;
};

}  // namespace velmora::test
