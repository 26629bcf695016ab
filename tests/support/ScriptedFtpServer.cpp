#include "ScriptedFtpServer.h"

#include <gtest/gtest.h>

namespace velmora::test {

ServerAction send(const QByteArray& bytes) { return {ServerAction::Kind::Send, bytes}; }
ServerAction drip(const QByteArray& bytes) { return {ServerAction::Kind::Drip, bytes}; }
ServerAction closeControl() { return {ServerAction::Kind::CloseControl, {}}; }
ServerAction connectData() { return {ServerAction::Kind::ConnectData, {}}; }
ServerAction replyAfterData(const QByteArray& bytes)
{
    return {ServerAction::Kind::ReplyAfterData, bytes};
}
ServerAction abortDataAfter(qint64 count, const QByteArray& thenSend)
{
    return {ServerAction::Kind::AbortDataAfter, thenSend, count};
}
ServerAction flood() { return {ServerAction::Kind::Flood, {}}; }
ServerAction listenData(const QByteArray& reply) { return {ServerAction::Kind::ListenData, reply}; }
ServerAction slowData(qint64 bytesPerSecond)
{
    return {ServerAction::Kind::SlowData, {}, bytesPerSecond};
}
ServerAction intruder(const QByteArray& from) { return {ServerAction::Kind::Intruder, from}; }
ServerAction swallowInput(const QByteArray& answer)
{
    return {ServerAction::Kind::SwallowInput, answer};
}

ServerScript defaultScript()
{
    ServerScript script;
    script.greeting = {send("220 Scripted server ready\r\n")};
    script.onCommand = {
        {"USER", {send("331 Password required\r\n")}},
        {"PASS", {send("230 Logged in\r\n")}},
        {"TYPE", {send("200 Type set to I\r\n")}},
        {"PORT", {send("200 PORT command successful\r\n")}},
        {"EPSV", {listenData("229 Entering Extended Passive Mode (|||{port}|)\r\n")}},
        {"PASV", {listenData("227 Entering Passive Mode (127,0,0,1,{p1,p2})\r\n")}},
        {"MKD", {send("257 Created\r\n")}},
        {"STOR",
         {send("150 Opening data connection\r\n"), connectData(),
          replyAfterData("226 Transfer complete\r\n")}},
        {"QUIT", {send("221 Goodbye\r\n"), closeControl()}},
    };
    return script;
}

ScriptedFtpServer::ScriptedFtpServer(ServerScript script)
    : script_(std::move(script)), defaults_(defaultScript())
{
    dripTimer_.setInterval(1);
    connect(&dripTimer_, &QTimer::timeout, this, [this] { dripNext(); });
    slowTimer_.setInterval(10);
    connect(&slowTimer_, &QTimer::timeout, this, [this] { readSlowly(); });
    connect(&server_, &QTcpServer::newConnection, this, [this] { onControlConnection(); });
    if (!server_.listen(QHostAddress::LocalHost, 0))
        ADD_FAILURE() << "scripted server cannot listen";
}

ScriptedFtpServer::~ScriptedFtpServer()
{
    for (QTcpSocket* socket : {control_, dataSocket_, intruder_})
        if (socket) socket->disconnect(this);
    if (dataServer_) dataServer_->disconnect(this);
}

void ScriptedFtpServer::onControlConnection()
{
    while (QTcpSocket* next = server_.nextPendingConnection()) {
        // One session at a time, as a host with a cap of one: a second
        // session while the first is open is turned away.
        if (control_ && control_->state() == QAbstractSocket::ConnectedState) {
            ++refused_;
            // Held open as a child of the listening server until it goes.
            if (script_.holdLaterSessions) continue;
            connect(next, &QTcpSocket::disconnected, next, &QObject::deleteLater);
            next->write("421 Too many connections (1 at most).\r\n");
            next->disconnectFromHost();
            continue;
        }
        if (control_) {
            control_->disconnect(this);
            control_->abort();
            control_->deleteLater();
        }
        control_ = next;
        ++connections_;
        pendingInput_.clear();
        swallowing_ = false;
        dripQueue_.clear();
        closeAfterDrip_ = false;
        flooding_ = false;
        connect(control_, &QTcpSocket::readyRead, this, [this] { onControlReadable(); });
        connect(control_, &QTcpSocket::bytesWritten, this, [this] { floodMore(); });
        run(script_.greeting);
    }
}

void ScriptedFtpServer::onControlReadable()
{
    QTcpSocket* socket = control_;
    if (!socket) return;
    pendingInput_ += socket->readAll();
    if (swallowing_) {
        pendingInput_.clear();
        write(std::exchange(swallowAnswer_, QByteArray()));
        return;
    }
    qsizetype lf;
    while (!swallowing_ && (lf = pendingInput_.indexOf('\n')) >= 0) {
        QByteArray line = pendingInput_.left(lf);
        pendingInput_.remove(0, lf + 1);
        if (line.endsWith('\r')) line.chop(1);
        transcript_.append(line);
        const qsizetype space = line.indexOf(' ');
        const QByteArray verb = (space < 0 ? line : line.left(space)).toUpper();
        if (verb == "PORT") passiveMode_ = false;
        if (verb == "PORT") {
            const QList<QByteArray> parts = line.mid(space + 1).split(',');
            if (parts.size() == 6) {
                portAddress_ = QHostAddress(QString::fromLatin1(parts[0] + '.' + parts[1] + '.' +
                                                                parts[2] + '.' + parts[3]));
                portPort_ = static_cast<quint16>(parts[4].toInt() * 256 + parts[5].toInt());
            }
        }
        const auto own = script_.onCommand.find(verb);
        if (own != script_.onCommand.end()) {
            run(own->second);
        } else {
            const auto fallback = defaults_.onCommand.find(verb);
            run(fallback != defaults_.onCommand.end() ? fallback->second
                                                      : Actions{send("502 Not implemented\r\n")});
        }
        if (control_ != socket) return;
    }
}

void ScriptedFtpServer::run(const Actions& actions)
{
    for (const ServerAction& action : actions) {
        switch (action.kind) {
        case ServerAction::Kind::Send: write(action.bytes); break;
        case ServerAction::Kind::Drip:
            dripQueue_ += action.bytes;
            dripTimer_.start();
            break;
        case ServerAction::Kind::CloseControl:
            if (afterDataPending_)
                closeAfterData_ = true;
            else if (!dripQueue_.isEmpty())
                closeAfterDrip_ = true;
            else if (control_)
                control_->disconnectFromHost();
            break;
        case ServerAction::Kind::ConnectData: connectDataSocket(); break;
        case ServerAction::Kind::ReplyAfterData:
            if (dataEnded_)
                write(action.bytes);
            else {
                afterData_ = action.bytes;
                afterDataPending_ = true;
            }
            break;
        case ServerAction::Kind::AbortDataAfter:
            abortAfter_ = action.count;
            afterAbort_ = action.bytes;
            break;
        case ServerAction::Kind::Flood:
            flooding_ = true;
            floodMore();
            break;
        case ServerAction::Kind::ListenData: {
            // The reply to the coming STOR waits for this connection's end.
            dataEnded_ = false;
            passiveMode_ = true;
            if (dataServer_) dataServer_->deleteLater();
            dataServer_ = new QTcpServer(this);
            connect(dataServer_, &QTcpServer::newConnection, this, [this, server = dataServer_] {
                while (QTcpSocket* next = server->nextPendingConnection()) useDataSocket(next);
            });
            dataServer_->listen(QHostAddress::LocalHost, 0);
            const quint16 port = dataServer_->serverPort();
            QByteArray reply = action.bytes;
            reply.replace("{port}", QByteArray::number(port));
            reply.replace("{p1,p2}", QByteArray::number(port / 256) + ',' +
                                         QByteArray::number(port % 256));
            write(reply);
            break;
        }
        case ServerAction::Kind::SlowData: dataRate_ = action.count; break;
        case ServerAction::Kind::Intruder: connectIntruder(action.bytes); break;
        case ServerAction::Kind::SwallowInput:
            swallowing_ = true;
            swallowAnswer_ = action.bytes;
            pendingInput_.clear();
            break;
        }
    }
}

void ScriptedFtpServer::write(const QByteArray& bytes)
{
    if (!dripQueue_.isEmpty()) {
        dripQueue_ += bytes;
    } else if (control_ && control_->state() == QAbstractSocket::ConnectedState) {
        control_->write(bytes);
    }
}

void ScriptedFtpServer::dripNext()
{
    if (dripQueue_.isEmpty() || !control_) {
        dripTimer_.stop();
        return;
    }
    control_->write(dripQueue_.left(1));
    dripQueue_.remove(0, 1);
    if (dripQueue_.isEmpty()) {
        dripTimer_.stop();
        if (closeAfterDrip_) control_->disconnectFromHost();
    }
}

void ScriptedFtpServer::floodMore()
{
    if (!flooding_ || !control_ || control_->state() != QAbstractSocket::ConnectedState) return;
    if (control_->bytesToWrite() < 256 * 1024) control_->write(QByteArray(64 * 1024, 'x'));
}

void ScriptedFtpServer::connectDataSocket()
{
    // In passive mode the client connects.
    if (passiveMode_) return;
    if (intruder_ && !intruderClosed_) {
        connectAfterIntruder_ = true;
        return;
    }
    auto* socket = new QTcpSocket(this);
    useDataSocket(socket);
    socket->connectToHost(portAddress_, portPort_);
}

void ScriptedFtpServer::useDataSocket(QTcpSocket* socket)
{
    if (dataSocket_) {
        dataSocket_->disconnect(this);
        dataSocket_->abort();
        dataSocket_->deleteLater();
    }
    dataEnded_ = false;
    data_.append(QByteArray());
    dataSocket_ = socket;
    socket->setParent(this);
    if (dataRate_ > 0) {
        // A reader this slow keeps little in its buffers, so the sender's
        // bytes wait in its own.
        socket->setReadBufferSize(16 * 1024);
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 128 * 1024);
        slowTimer_.start();
    } else {
        connect(socket, &QTcpSocket::readyRead, this, [this] { onDataReadable(); });
    }
    connect(socket, &QTcpSocket::disconnected, this, [this] { onDataEnded(); });
}

void ScriptedFtpServer::readSlowly()
{
    if (!dataSocket_ || data_.isEmpty()) {
        slowTimer_.stop();
        return;
    }
    const qint64 perTick = std::max<qint64>(1, dataRate_ * slowTimer_.interval() / 1000);
    data_.last() += dataSocket_->read(perTick);
    if (dataEnded_ && dataSocket_->bytesAvailable() == 0) {
        slowTimer_.stop();
        finishData();
    }
}

void ScriptedFtpServer::connectIntruder(const QByteArray& from)
{
    intruderClosed_ = false;
    intruderBytes_ = 0;
    intruder_ = new QTcpSocket(this);
    intruder_->bind(QHostAddress(QString::fromLatin1(from)));
    connect(intruder_, &QTcpSocket::readyRead, this,
            [this] { intruderBytes_ += intruder_->readAll().size(); });
    const auto closed = [this] {
        if (intruderClosed_) return;
        intruderClosed_ = true;
        if (std::exchange(connectAfterIntruder_, false)) connectDataSocket();
    };
    connect(intruder_, &QTcpSocket::disconnected, this, closed);
    connect(intruder_, &QTcpSocket::errorOccurred, this, closed);
    intruder_->connectToHost(portAddress_, portPort_);
}

void ScriptedFtpServer::onDataReadable()
{
    if (!dataSocket_ || data_.isEmpty()) return;
    data_.last() += dataSocket_->readAll();
    if (abortAfter_ >= 0 && data_.last().size() >= abortAfter_) {
        abortAfter_ = -1;
        QTcpSocket* socket = std::exchange(dataSocket_, nullptr);
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
        dataEnded_ = true;
        afterDataPending_ = false;
        write(afterAbort_);
    }
}

void ScriptedFtpServer::onDataEnded()
{
    dataEnded_ = true;
    // A slow reader has its reply sent once it has read everything.
    if (dataRate_ > 0 && dataSocket_ && dataSocket_->bytesAvailable() > 0) return;
    if (dataSocket_ && dataRate_ == 0) onDataReadable();
    finishData();
}

void ScriptedFtpServer::finishData()
{
    if (afterDataPending_) {
        afterDataPending_ = false;
        write(afterData_);
    }
    if (std::exchange(closeAfterData_, false) && control_) control_->disconnectFromHost();
}

}  // namespace velmora::test
