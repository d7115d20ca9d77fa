// Starting another program of the suite: the one beside this executable (the build tree's bin/, or /usr/bin
// after install), else the one the PATH finds.
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>
#include <string>

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

// Qt's platform plugins want $XDG_RUNTIME_DIR, the user's private directory that a login session makes,
// and warn on the error stream without it (under cron, su, sudo, ssh without a session, a container). A
// program started so takes the directory Qt itself would fall back to, quietly: runtime-<uid> in the
// temporary directory, made with mode 0700 when missing and used only while it is this user's alone;
// else one made for it under a new name.
void EnsureRuntimeDir() {
    if (const char* set = std::getenv("XDG_RUNTIME_DIR"); set && *set) return;
    const std::string dir = QDir::tempPath().toStdString() + "/runtime-" + std::to_string(::getuid());
    ::mkdir(dir.c_str(), 0700);
    struct stat st {};
    if (::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
        ((st.st_mode & 07777) == 0700 || ::chmod(dir.c_str(), 0700) == 0)) {
        ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
        return;
    }
    std::string pattern = dir + "-XXXXXX";  // someone else's, or not a directory: a name of our own
    if (::mkdtemp(pattern.data())) ::setenv("XDG_RUNTIME_DIR", pattern.c_str(), 1);
}

bool DisplayToOpenWindowsOn(std::string_view program) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* value = std::getenv(name); value && *value) return true;
    std::fprintf(stderr,
                 "%.*s: there is no display to open the window on (DISPLAY is not set); start it on the "
                 "desktop, or use sensor-tool on a console\n",
                 int(program.size()), program.data());
    return false;
}
