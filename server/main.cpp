// SPDX-License-Identifier: GPL-3.0-or-later
// porome-server: serves ポロメ's page to a school's portal, takes its LTI launch and sends the
// pupils' statements to the school's store.
#include "server/Server.h"
#include "server/Settings.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace {

const char* const kUsage = "usage: porome-server [--settings FILE]   (default /etc/porome/server.ini)";
const char* const kHelp =
    "Serves ポロメ's page to a school's learning portal as an LTI 1.3 tool and forwards the\n"
    "pupils' statements to the school's store (man porome-server).\n"
    "  --settings FILE  the settings: [server], [lrs] and a [platform.NAME] for each portal\n"
    "  --help           this text\n"
    "  --version        the version\n"
    "Addresses: /lti/login, /lti/launch, /.well-known/jwks.json, /xapi/statements, /health.\n";

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString file = QStringLiteral("/etc/porome/server.ini");
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--settings") && i + 1 < args.size()) {
            file = args[++i];
        } else if (args[i] == QLatin1String("--version")) {
            std::printf("porome-server %s\n", POROME_VERSION);
            return 0;
        } else if (args[i] == QLatin1String("--help") || args[i] == QLatin1String("-h")) {
            std::printf("%s\n%s", kUsage, kHelp);
            return 0;
        } else {
            std::fprintf(stderr, "%s\n", kUsage);
            return 2;
        }
    }
    QString why;
    const auto settings = server::ReadSettings(file, &why);
    if (!settings) {
        std::fprintf(stderr, "porome-server: %s\n", qPrintable(why));
        return 2;
    }
    const crypto::Key key = crypto::LoadOrCreateKey(settings->keyFile, &why);
    if (!key) {
        std::fprintf(stderr, "porome-server: %s\n", qPrintable(why));
        return 2;
    }
    server::Server server(*settings, key);
    if (!server.Start(&why)) {
        std::fprintf(stderr, "porome-server: %s\n", qPrintable(why));
        return 2;
    }
    std::printf("porome-server: listening on %s://%s:%u\n", settings->Tls() ? "https" : "http",
                qPrintable(settings->listenAddress.protocol() == QAbstractSocket::IPv6Protocol
                               ? QLatin1Char('[') + settings->listenAddress.toString() + QLatin1Char(']')
                               : settings->listenAddress.toString()),
                unsigned(server.Port()));
    std::fflush(stdout);
    return app.exec();
}
