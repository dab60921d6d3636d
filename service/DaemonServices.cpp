#include "DaemonServices.h"

namespace rdxlogd {

void LineMessages::information(const QString& text)
{
    std::fprintf(out_, "rdx512-logd: %s\n", text.simplified().toLocal8Bit().constData());
    std::fflush(out_);
}

bool LineMessages::question(const QString& text)
{
    information(text + QStringLiteral(" - answered No (no one to ask)"));
    return false;
}

}  // namespace rdxlogd
