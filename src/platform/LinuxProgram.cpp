#include "platform/LinuxProgram.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>
#include <unistd.h>

QString LinuxProgram::FileTitle() const
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString LinuxProgram::FilePath() const
{
    return QCoreApplication::applicationFilePath();
}

void LinuxProgram::End()
{
    // _exit rather than exit: no destructor or event may run code that was
    // interrupted further up, such as a waiting synchronisation.
    std::fflush(nullptr);
    ::_exit(0);
}
