#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>

namespace velmora::test {

// A server program a test starts and stops: started as a child that ends
// with the test program even when that one crashes, waited for until it is
// ready, and stopped when destroyed (terminated, waited for, killed when it
// lingers). The network servers listen on 127.0.0.1 and a free port.
class ServerProcess {
public:
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    bool isRunning() const { return running_; }
    int port() const { return port_; }

protected:
    ServerProcess() = default;
    // A subclass whose files the server uses stops it in its own destructor,
    // before those files go.
    ~ServerProcess() { stop(); }

    // A port on 127.0.0.1 that nothing listens on at this moment (another
    // program may take it before the server binds it).
    static int freePort();

    // Starts `program` and waits up to `timeoutMs` for `ready` to hold; a
    // program that ends first, or is not ready in time, is stopped and the
    // result is false. Set up `process()` (channels, files) before.
    bool launch(const QString& program, const QStringList& arguments, const std::function<bool()>& ready,
                int timeoutMs);
    void setPort(int port) { port_ = port; }
    void stop();
    QProcess& process() { return process_; }
    const QProcess& process() const { return process_; }

private:
    QProcess process_;
    int port_ = 0;
    bool running_ = false;
};

}  // namespace velmora::test
