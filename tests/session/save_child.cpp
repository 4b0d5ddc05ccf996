// Saves two large sessions into one project file in turn, for ever, for the
// save test to kill: "saved" on stdout after each save.
//
//   save_child FILE ROWS

#include "core/list_headers.h"
#include "session/project_file.h"

#include <QCoreApplication>

#include <cstdio>

using namespace quilla;

// The session the test expects to find when `second` says which.
static SessionSnapshot session(bool second, int rows) {
    SessionSnapshot s;
    s.candidates = {Row{candidateHeader()}};
    s.results = {Row{resultHeader()}};
    const QString tag = second ? QStringLiteral("新") : QStringLiteral("旧");
    for (int i = 0; i < rows; ++i)
        s.results.push_back(Row{{tag + QString::number(i), QString::number(i * 7 + second),
                                 QString::number(i), QStringLiteral("+1%")}});
    s.state.keyword = tag;
    return s;
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int rows = QByteArray(argv[2]).toInt();
    const SessionSnapshot sessions[] = {session(false, rows), session(true, rows)};
    for (unsigned long n = 0;; ++n) {
        const NewFileResult saved = saveProject(sessions[(n + 1) % 2], path, true);
        if (saved.kind != NewFileResult::Kind::Written) {
            std::fprintf(stderr, "%s\n", qPrintable(saved.reason));
            return 1;
        }
        std::puts("saved");
        std::fflush(stdout);
    }
}
