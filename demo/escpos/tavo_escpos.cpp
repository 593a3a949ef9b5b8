// A look at what a receipt printer receives.
//   tavo_escpos [--dots N] decode [FILE]    the job in FILE (or standard input) as an annotated
//                                           dump, then the lines as the printer prints them
//   tavo_escpos [--dots N] listen PORT DIR  a stand-in printer on 127.0.0.1:PORT (the device of a
//                                           raw CUPS queue socket://127.0.0.1:PORT): each job it
//                                           receives is kept as DIR/job-<time>-<n>.bin with its
//                                           dump beside it (.txt)
// --dots is the print head's width: 512 (the default, 42 characters) or 576 (48 characters).
#include "demo/escpos/escposdecoder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace tavo::demo;

namespace {

QString describe(const QByteArray &bytes, const EscPosPrinter &printer)
{
    const EscPosJob job = decodeEscPos(bytes, printer);
    QString out = job.annotated();
    out += u"\n-- printed on %1 dots (R red, B bold, xN magnified, > ran past the head) --\n"_s.arg(
        printer.dots);
    for (const EscPosLine &line : job.lines) {
        QString marks = (line.overflow ? u">"_s : u" "_s) + (line.red ? u"R"_s : u" "_s)
            + (line.bold ? u"B"_s : u" "_s);
        marks += line.width > 1 || line.height > 1 ? u"x%1 "_s.arg(line.height) : u"   "_s;
        out += marks + u"|"_s + line.text + u'\n';
    }
    out += u"-- %1 byte(s), %2 buzzer(s), %3 cut(s), %4 colour change(s) ignored --\n"_s.arg(bytes.size())
               .arg(job.buzzers.size())
               .arg(job.cuts)
               .arg(job.ignoredColours);
    return out;
}

int usage()
{
    fputs("usage: tavo_escpos [--dots N] decode [FILE] | tavo_escpos [--dots N] listen PORT DIR\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    EscPosPrinter printer;
    if (args.value(0) == u"--dots"_s) {
        bool ok = false;
        printer.dots = args.value(1).toInt(&ok);
        if (!ok || printer.dots < 12)
            return usage();
        args = args.mid(2);
    }
    if (args.value(0) == u"decode"_s && args.size() <= 2) {
        QFile in;
        const bool opened = args.size() == 2 ? (in.setFileName(args[1]), in.open(QIODevice::ReadOnly))
                                             : in.open(stdin, QIODevice::ReadOnly);
        if (!opened) {
            fprintf(stderr, "cannot read %s\n", qPrintable(args.value(1, u"standard input"_s)));
            return 1;
        }
        fputs(describe(in.readAll(), printer).toUtf8().constData(), stdout);
        return 0;
    }
    if (args.value(0) != u"listen"_s || args.size() != 3)
        return usage();

    const quint16 port = args[1].toUShort();
    const QString dir = args[2];
    QDir().mkpath(dir);
    QTcpServer server;
    if (port == 0 || !server.listen(QHostAddress::LocalHost, port)) {
        fprintf(stderr, "cannot listen on 127.0.0.1:%s: %s\n", qPrintable(args[1]),
            qPrintable(server.errorString()));
        return 1;
    }
    int jobs = 0;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            auto *received = new QByteArray;
            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                [socket, received] { *received += socket->readAll(); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, [&, socket, received] {
                *received += socket->readAll();
                if (!received->isEmpty()) {
                    const QString base
                        = u"%1/job-%2-%3"_s
                              .arg(dir, QDateTime::currentDateTime().toString(u"yyyyMMdd-hhmmss"_s))
                              .arg(++jobs);
                    QFile bin(base + u".bin"_s), txt(base + u".txt"_s);
                    if (bin.open(QIODevice::WriteOnly))
                        bin.write(*received);
                    if (txt.open(QIODevice::WriteOnly))
                        txt.write(describe(*received, printer).toUtf8());
                    fprintf(stderr, "received a job of %lld byte(s): %s.txt\n", qlonglong(received->size()),
                        qPrintable(base));
                }
                delete received;
                socket->deleteLater();
            });
        }
    });
    return app.exec();
}
