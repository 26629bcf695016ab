// Moving bytes over a TPowersock connection: the input and output buffers,
// lines and blocks in, lines and whole files out.

#include <QFile>
#include <QTcpSocket>
#include <array>

#include "base/FileAccess.h"
#include "base/ScopeExit.h"
#include "publish/FtpErrors.h"
#include "publish/ftp/Powersock.h"
#include "publish/ftp/ReplyLines.h"

namespace velmora {

namespace {

// Chunks handed to the socket but not yet written by it. A few keep the
// connection busy between two events; more would only hold the file in
// memory.
constexpr qint64 kQueuedBytes = 4 * TPowersock::kChunkSize;
constexpr int kChunksPerStep = 8;

}  // namespace

// --------------------------------------------------- notification handlers

void TPowersock::postRead() { postOnce(readPosted_, &TPowersock::ReadToStream); }

void TPowersock::postWrite() { postOnce(writePosted_, &TPowersock::WriteFromStream); }

// Queues one run of `step` on the event loop unless one is queued already.
void TPowersock::postOnce(bool& posted, void (TPowersock::*step)())
{
    if (posted) return;
    posted = true;
    QMetaObject::invokeMethod(
        this,
        [this, &posted, step] {
            posted = false;
            dispatch([this, step] { (this->*step)(); });
        },
        Qt::QueuedConnection);
}

void TPowersock::ReadToStream()
{
    // A notification that meets a running transfer step is not lost: the
    // step asks for it again when it ends.
    if (busy_) {
        readMissed_ = true;
        return;
    }
    if (!socket_ || socket_->bytesAvailable() <= 0) return;
    busy_ = true;
    const ScopeExit done([this] {
        busy_ = false;
        if (std::exchange(writeMissed_, false)) postWrite();
    });
    StatusMessage(8, QStringLiteral("ReadToStream"));

    std::array<char, kChunkSize> chunk;
    const qint64 n = socket_->read(chunk.data(), kChunkSize);
    if (n > 0) {
        inBuffer_.append(QByteArrayView(chunk.data(), n));
        if (counting_) {
            bytesRecvd_ += n;
            if (OnPacketRecvd) OnPacketRecvd(*this);
        }
    } else if (n < 0) {
        lastErrorNo_ = socketErrorNumber(socket_->error());
        const QString message = LookupErrorMessage(lastErrorNo_, {});
        if (OnError) OnError(*this, static_cast<quint16>(lastErrorNo_), message);
    }
    // The socket announces new bytes only once; what is left is fetched now.
    if (socket_ && socket_->bytesAvailable() > 0) postRead();
}

bool TPowersock::hasWriteWork() const
{
    if (canceled_) return false;
    if (sendingFile_) return file_ && !fileFailed_ && bytesSent_ < fileSize_;
    return !outBuffer_.isEmpty();
}

void TPowersock::onBytesWritten()
{
    // A transfer that moves is alive: the time-out timer's next tick lets it
    // go on, so a large file may take longer than TimeOut in all.
    progressSinceTick_ = true;
    // Written bytes reported from inside our own write step: that step goes
    // on by itself.
    if (writing_) return;
    WriteFromStream();
}

void TPowersock::WriteFromStream()
{
    if (busy_) {
        writeMissed_ = true;
        return;
    }
    QTcpSocket* const socket = socket_;
    if (!socket) return;
    busy_ = true;
    writing_ = true;
    const ScopeExit done([this] {
        busy_ = false;
        writing_ = false;
        if (std::exchange(readMissed_, false)) postRead();
        if (std::exchange(writeMissed_, false)) postWrite();
    });
    StatusMessage(8, QStringLiteral("WriteFromStream"));

    // Chunk by chunk until a few are queued in the socket, which writes them
    // out as the system takes them. Keeping it from running dry spares the
    // event loop a stop and start of its write watch for every chunk.
    for (int step = 0; step < kChunksPerStep && hasWriteWork(); ++step) {
        // Enough is queued; the socket's next written-bytes event calls again.
        if (queuedBytes(*socket) >= kQueuedBytes) return;

        QByteArrayView chunk;
        if (sendingFile_) {
            fileChunk_.resize(kChunkSize);
            if (file_->pos() != bytesSent_) file_->seek(bytesSent_);
            const qint64 read = file_->read(fileChunk_.data(), kChunkSize);
            if (read <= 0) {
                fileFailed_ = true;
                return;
            }
            chunk = QByteArrayView(fileChunk_).first(read);
        } else {
            chunk = outBuffer_.view().first(std::min(outBuffer_.size(), kChunkSize));
        }

        const qint64 n = socket->write(chunk.data(), chunk.size());
        if (n < 0) {
            // Tried again on the next written-bytes event; a connection that
            // is gone ends the waiting operation instead.
            lastErrorNo_ = socketErrorNumber(socket->error());
            return;
        }
        bytesSent_ += n;
        if (!sendingFile_) outBuffer_.drop(n);
        if (counting_ && OnPacketSent) OnPacketSent(*this);
        // A handler may have closed the connection meanwhile.
        if (socket_ != socket) return;
    }
    if (hasWriteWork()) {
        postWrite();
    } else if (!canceled_ && !fileFailed_ && queuedBytes(*socket) == 0) {
        // Done once the socket itself has written every byte: closing it
        // earlier would drop what it still holds.
        sendDone_ = true;
    }
}

// ------------------------------------------------------------- operations

void TPowersock::Writeln(QByteArrayView text)
{
    if (canceled_) return;
    StatusMessage(8, QStringLiteral("Writeln"));
    if (!connected_) throw ESockError(QStringLiteral("Not Connected"));
    outBuffer_.append(text);
    outBuffer_.append("\r\n");
    sendDone_ = false;
    postWrite();
    WaitEnd end;
    {
        TimerScope timer(*this);
        end = waitFor([this] { return sendDone_; }, true);
    }
    switch (end) {
    case WaitEnd::Done: return;
    case WaitEnd::Canceled: throw EAbortError(QStringLiteral("Socket writeln aborted"));
    case WaitEnd::TimedOut: throw ESockError(QStringLiteral("Socket writeln timed out"));
    case WaitEnd::Lost:
        outBuffer_.clear();
        throw ESockError(QStringLiteral("Connection Lost"));
    }
}

QByteArray TPowersock::ReadLn()
{
    StatusMessage(8, QStringLiteral("ReadLn"));
    WaitEnd end;
    {
        TimerScope timer(*this);
        end = waitFor(
            [this] {
                return inBuffer_.indexOf('\n') >= 0 || inBuffer_.size() >= kMaxLineLength;
            },
            true);
    }
    if (canceled_) throw EAbortError(QStringLiteral("Socket readln aborted"));
    const qsizetype lf = inBuffer_.indexOf('\n');
    if (lf >= 0) return inBuffer_.take(lf + 1);
    if (end == WaitEnd::TimedOut) throw ESockError(QStringLiteral("Socket readln timed out"));
    if (end == WaitEnd::Done) {
        stalled_ = true;
        throw ESockError(QStringLiteral("Reply line too long"));
    }
    throw ESockError(QStringLiteral("Connection Lost"));
}

QByteArray TPowersock::Read(quint16 count)
{
    StatusMessage(8, QStringLiteral("Read( ") + QString::number(count) + QStringLiteral(" )"));
    const qsizetype needed = count == 0 ? 1 : count;
    WaitEnd end;
    {
        TimerScope timer(*this);
        end = waitFor([this, needed] { return inBuffer_.size() >= needed; }, true);
    }
    if (canceled_) return {};
    if (end == WaitEnd::Done) return inBuffer_.take(count == 0 ? inBuffer_.size() : count);
    if (end == WaitEnd::TimedOut) throw ESockError(QStringLiteral("Socket read timed out"));
    throw ESockError(QStringLiteral("Connection Lost"));
}

QByteArray TPowersock::Transaction(const QByteArray& command)
{
    StatusMessage(8, QStringLiteral("Transaction"));
    replyNumber_ = 0;
    TimerScope timer(*this);
    Writeln(command);
    lastReply_ = ReadLn();
    if (!lastReply_.isEmpty()) {
        StatusMessage(1, QString::fromUtf8(lastReply_));
        replyNumber_ = replyNumberOf(lastReply_);
    }
    return lastReply_;
}

void TPowersock::SendFile(const QString& localPath) { SendFile(QFile::encodeName(localPath)); }

void TPowersock::SendFile(const QByteArray& localPath)
{
    counting_ = true;
    sendingFile_ = true;
    StatusMessage(8, QStringLiteral("SendFile"));
    QFile file;
    const ScopeExit restore([this] {
        file_ = nullptr;
        counting_ = false;
        sendingFile_ = false;
        progressRestartsTimer_ = false;
        fileChunk_ = QByteArray();
    });
    // Read chunk by chunk into one buffer of ours; a second buffer below
    // would only copy every byte once more.
    if (!openRegularFile(file, localPath, QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw FileError::cannotOpen(QFile::decodeName(localPath));
    if (!connected_) throw ESockError(QStringLiteral("Not Connected"));

    file_ = &file;
    sendDone_ = false;
    fileFailed_ = false;
    bytesSent_ = 0;
    bytesTotal_ = file.size();
    fileSize_ = bytesTotal_;
    progressRestartsTimer_ = true;
    progressSinceTick_ = false;
    postWrite();
    WaitEnd end;
    {
        TimerScope timer(*this);
        end = waitFor([this] { return sendDone_ || fileFailed_; }, true);
    }
    file_ = nullptr;
    if (canceled_) {
        canceled_ = false;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
    switch (end) {
    case WaitEnd::Done:
        if (fileFailed_)
            throw FileError(QStringLiteral("Cannot read file %1").arg(QFile::decodeName(localPath)));
        return;
    case WaitEnd::Canceled: throw EAbortError(QStringLiteral("Socket send aborted"));
    case WaitEnd::TimedOut: throw ESockError(QStringLiteral("Socket send timed out"));
    case WaitEnd::Lost: throw ESockError(QStringLiteral("Connection Lost"));
    }
}

void TPowersock::WriteNow(QByteArrayView bytes)
{
    if (!socket_ || !connected_) return;
    socket_->write(bytes.data(), bytes.size());
    socket_->flush();
}

}  // namespace velmora
