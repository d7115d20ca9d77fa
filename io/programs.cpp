// Starting another program of the suite: the one beside this executable (the build tree's bin/, or /usr/bin
// after install), else the one the PATH finds.
#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "io.h"

int StartProgram(std::string_view program, const std::vector<std::string>& arguments) {
    const QString name = QString::fromUtf8(program.data(), qsizetype(program.size()));
    QString path = QCoreApplication::applicationDirPath() + "/" + name;
    if (!QFileInfo(path).isExecutable()) path = QStandardPaths::findExecutable(name);
    if (path.isEmpty()) return -1;
    QStringList args;
    for (const std::string& a : arguments) args << QString::fromStdString(a);
    return QProcess::startDetached(path, args) ? 0 : -1;
}
