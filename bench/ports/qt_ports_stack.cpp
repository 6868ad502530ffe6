// Qt's serial port module on many ports: one QSerialPort per tty, readyRead then readAll
// on the main thread's event loop, and for echo a write of it back.
#include "../StackArgs.h"
#include "PortsArgs.h"

#include <QCoreApplication>
#include <QSerialPort>
#include <memory>
#include <vector>

int main(int argc, char** argv) {
    using quillon::bench::TPortsMode;
    const auto args = quillon::bench::ParsePortsArgs(argc, argv);
    if (!args) return 2;
    QCoreApplication app(argc, argv);
    std::vector<std::unique_ptr<QSerialPort>> ports;
    std::vector<uint64_t> counts(args->Devices.size());
    size_t portsDone = 0;
    for (const std::string& device : args->Devices) {
        auto port = std::make_unique<QSerialPort>(QString::fromLocal8Bit(device.c_str()));
        port->setBaudRate(QSerialPort::Baud115200);
        if (!port->open(QIODevice::ReadWrite)) {
            std::fprintf(stderr, "qt ports stack: %s\n", qPrintable(port->errorString()));
            return 1;
        }
        QSerialPort* p = port.get();
        const size_t i = ports.size();
        QObject::connect(p, &QSerialPort::readyRead, [&, p, i] {
            const QByteArray chunk = p->readAll();
            if (args->Mode == TPortsMode::Echo) {
                p->write(chunk);
                return;
            }
            const auto got = static_cast<uint64_t>(chunk.size());
            const bool reached = counts[i] < args->Count && counts[i] + got >= args->Count;
            counts[i] += got;
            if (reached && ++portsDone == counts.size())
                quillon::bench::SayDone(counts.size() * args->Count);
        });
        ports.push_back(std::move(port));
    }
    quillon::bench::SayReady();
    return app.exec();
}
