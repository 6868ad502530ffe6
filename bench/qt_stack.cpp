// Qt's serial port module as an application uses it: readyRead, then readAll, on the
// main thread's event loop.
#include "StackArgs.h"

#include <QCoreApplication>
#include <QSerialPort>
#include <utility>

int main(int argc, char** argv) {
    using quillon::bench::TMode;
    const auto args = quillon::bench::ParseStackArgs(argc, argv);
    if (!args) return 2;
    QCoreApplication app(argc, argv);
    QSerialPort port(QString::fromLocal8Bit(args->Device.c_str()));
    port.setBaudRate(QSerialPort::Baud115200);
    if (!port.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "qt stack: %s\n", qPrintable(port.errorString()));
        return 1;
    }
    uint64_t count = 0;
    bool finishing = false, done = false;
    auto finish = [&] {
        if (std::exchange(done, true)) return;
        quillon::bench::SayDone(count);
        app.quit();
    };
    QObject::connect(&port, &QSerialPort::readyRead, [&] {
        const QByteArray chunk = port.readAll();
        count += static_cast<uint64_t>(chunk.size());
        if (args->Mode == TMode::Echo) port.write(chunk);
        if (args->Mode == TMode::Idle || count < args->Count || finishing) return;
        finishing = true;
        if (args->Mode == TMode::Rx || port.bytesToWrite() == 0) return finish();
    });
    // Echo ends once the last byte has been handed to the tty.
    QObject::connect(&port, &QSerialPort::bytesWritten, [&](qint64) {
        if (finishing && port.bytesToWrite() == 0) finish();
    });
    quillon::bench::SayReady();
    if (args->Mode != TMode::Idle && args->Count == 0) {
        quillon::bench::SayDone(0);
        return 0;
    }
    return app.exec();
}
