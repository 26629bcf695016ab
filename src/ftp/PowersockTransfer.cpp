// Moving bytes over a TPowersock connection: the input and output buffers,
// lines and blocks in, lines and whole files out.

#include <QFile>
#include <QTcpSocket>
#include <array>

#include "FtpErrors.h"
#include "Powersock.h"
#include "ReplyLines.h"
#include "ScopeExit.h"

namespace velmora {

namespace {

// Chunks handed to the socket but not yet written by it. A few keep the
// connection busy between two events; more would only hold the file in
// memory.
constexpr qint64 kQueuedBytes = 4 * TPowersock::kChunkSize;

}  // namespace

// --------------------------------------------------- notification handlers

void TPowersock::postRead()
{
    if (readPosted_) return;
    readPosted_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            readPosted_ = false;
            try {
                ReadToStream();
            } catch (...) {
            }
        },
        Qt::QueuedConnection);
}

void TPowersock::postWrite()
{
    if (writePosted_) return;
    writePosted_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            writePosted_ = false;
            try {
                WriteFromStream();
            } catch (...) {
            }
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
    if (sendingFile_) return file_ && !fileFailed_ && file_->pos() < file_->size();
    return !outBuffer_.isEmpty();
}

void TPowersock::onBytesWritten()
{
    // A transfer that moves is alive: its time-out counts from the last
    // progress, so a large file may take longer than TimeOut in all.
    if (progressRestartsTimer_ && timer_.isRunning()) {
        timer_.SetEnabled(false);
        timer_.SetEnabled(true);
    }
    WriteFromStream();
}

void TPowersock::WriteFromStream()
{
    if (busy_) {
        writeMissed_ = true;
        return;
    }
    if (!socket_) return;
    busy_ = true;
    const ScopeExit done([this] {
        busy_ = false;
        if (std::exchange(readMissed_, false)) postRead();
    });
    StatusMessage(8, QStringLiteral("WriteFromStream"));

    if (!hasWriteWork()) {
        // Done once the socket itself has written every byte: closing it
        // earlier would drop what it still holds.
        if (!canceled_ && !fileFailed_ && socket_->bytesToWrite() == 0) sendDone_ = true;
        return;
    }
    // Enough is queued; the socket's next written-bytes event calls again.
    if (socket_->bytesToWrite() >= kQueuedBytes) return;

    QByteArray fileChunk;
    QByteArrayView chunk;
    if (sendingFile_) {
        file_->seek(bytesSent_);
        fileChunk = file_->read(kChunkSize);
        if (fileChunk.isEmpty()) {
            fileFailed_ = true;
            return;
        }
        chunk = fileChunk;
    } else {
        chunk = outBuffer_.view().first(std::min(outBuffer_.size(), kChunkSize));
    }

    const qint64 n = socket_->write(chunk.data(), chunk.size());
    if (n < 0) {
        // Tried again on the next written-bytes event; a connection that is
        // gone ends the waiting operation instead.
        lastErrorNo_ = socketErrorNumber(socket_->error());
        if (sendingFile_) file_->seek(bytesSent_);
        return;
    }
    bytesSent_ += n;
    if (sendingFile_)
        file_->seek(bytesSent_);
    else
        outBuffer_.drop(n);
    if (hasWriteWork()) postWrite();
    if (counting_ && OnPacketSent) OnPacketSent(*this);
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

void TPowersock::SendFile(const QString& localPath)
{
    counting_ = true;
    sendingFile_ = true;
    StatusMessage(8, QStringLiteral("SendFile"));
    QFile file(localPath);
    const ScopeExit restore([this] {
        file_ = nullptr;
        counting_ = false;
        sendingFile_ = false;
        progressRestartsTimer_ = false;
    });
    if (!file.open(QIODevice::ReadOnly)) throw FileError::cannotOpen(localPath);
    if (!connected_) throw ESockError(QStringLiteral("Not Connected"));

    file_ = &file;
    sendDone_ = false;
    fileFailed_ = false;
    bytesSent_ = 0;
    bytesTotal_ = file.size();
    progressRestartsTimer_ = true;
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
        if (fileFailed_) throw FileError(QStringLiteral("Cannot read file %1").arg(localPath));
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
