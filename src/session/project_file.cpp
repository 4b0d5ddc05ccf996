#include "session/project_file.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QUuid>

namespace quilla {

NewFileResult saveProject(const SessionSnapshot& snapshot, const QString& path,
                          bool replaceExisting) {
    const QFileInfo target(path);
    const FileWriter write = [&](const QString& temp, QString& reason) {
        const QString name = QStringLiteral("save-") + QUuid::createUuid().toString(QUuid::Id128);
        bool ok = false;
        {
            QSqlDatabase db;
            if (auto error = openSessionDatabase(db, temp, name, true))
                reason = *error;
            else if (auto written = writeSession(db, snapshot))
                reason = *written;
            else
                ok = true;
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        return ok;
    };
    NewFileOptions options;
    options.replaceExisting = replaceExisting;
    return writeNewFile(target.absolutePath(), target.fileName(), write, options);
}

QString withProjectSuffix(const QString& path) {
    return QFileInfo(path).suffix().isEmpty() ? path + QLatin1StringView(projectSuffix) : path;
}

} // namespace quilla
