#include "export/export_outcome.h"

namespace quilla {

bool keywordNamesAFile(const QString& keyword) {
    return !keyword.isEmpty() && !keyword.contains(u'/') && !keyword.contains(u'\\') &&
           !keyword.contains(QChar(u'\0'));
}

ExportOutcome outcomeOf(const NewFileResult& result) {
    switch (result.kind) {
    case NewFileResult::Kind::Written:
        return {ExportOutcome::Kind::Written, {}};
    case NewFileResult::Kind::Exists:
        return {ExportOutcome::Kind::Exists, {}};
    case NewFileResult::Kind::Failed:
        break;
    }
    return {ExportOutcome::Kind::Failed, result.reason};
}

QString exportMessage(const ExportOutcome& outcome) {
    switch (outcome.kind) {
    case ExportOutcome::Kind::Written:
        return QStringLiteral("导出成功，你可在程序目录中找到该文件。文件名与关键词相同。");
    case ExportOutcome::Kind::Exists:
        return QStringLiteral("文件已存在，不能导出。如果想继续导出，请修改关键词的内容。");
    case ExportOutcome::Kind::BadName:
        return QStringLiteral("关键词不能用作文件名，请修改关键词的内容。");
    case ExportOutcome::Kind::Cancelled:
        return QStringLiteral("导出已取消，没有写入文件。");
    case ExportOutcome::Kind::Failed:
        break;
    }
    return QStringLiteral("导出失败：") + outcome.reason;
}

} // namespace quilla
