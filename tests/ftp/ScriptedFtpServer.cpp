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

ServerScript defaultScript()
{
    ServerScript script;
    script.greeting = {send("220 Scripted server ready\r\n")};
    script.onCommand = {
        {"USER", {send("331 Password required\r\n")}},
        {"PASS", {send("230 Logged in\r\n")}},
        {"TYPE", {send("200 Type set to I\r\n")}},
        {"PORT", {send("200 PORT command successful\r\n")}},
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
    connect(&server_, &QTcpServer::newConnection, this, [this] { onControlConnection(); });
    if (!server_.listen(QHostAddress::LocalHost, 0))
        ADD_FAILURE() << "scripted server cannot listen";
}

ScriptedFtpServer::~ScriptedFtpServer()
{
    for (QTcpSocket* socket : {control_, dataSocket_})
        if (socket) socket->disconnect(this);
}

void ScriptedFtpServer::onControlConnection()
{
    while (QTcpSocket* next = server_.nextPendingConnection()) {
        if (control_) {
            control_->disconnect(this);
            control_->abort();
            control_->deleteLater();
        }
        control_ = next;
        ++connections_;
        pendingInput_.clear();
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
    qsizetype lf;
    while ((lf = pendingInput_.indexOf('\n')) >= 0) {
        QByteArray line = pendingInput_.left(lf);
        pendingInput_.remove(0, lf + 1);
        if (line.endsWith('\r')) line.chop(1);
        transcript_.append(line);
        const qsizetype space = line.indexOf(' ');
        const QByteArray verb = (space < 0 ? line : line.left(space)).toUpper();
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
            if (!dripQueue_.isEmpty())
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
    if (dataSocket_) {
        dataSocket_->disconnect(this);
        dataSocket_->abort();
        dataSocket_->deleteLater();
    }
    dataEnded_ = false;
    data_.append(QByteArray());
    dataSocket_ = new QTcpSocket(this);
    connect(dataSocket_, &QTcpSocket::readyRead, this, [this] { onDataReadable(); });
    connect(dataSocket_, &QTcpSocket::disconnected, this, [this] { onDataEnded(); });
    dataSocket_->connectToHost(portAddress_, portPort_);
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
    if (dataSocket_) onDataReadable();
    dataEnded_ = true;
    if (afterDataPending_) {
        afterDataPending_ = false;
        write(afterData_);
    }
}

}  // namespace velmora::test
