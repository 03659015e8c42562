#include "platform/StderrJournal.h"

#include <cstdio>

void StderrJournal::Write(const QString& line)
{
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}
