#include "SingleInstance.h"

#include <QDir>

#include <unistd.h>

namespace {

QString lockPath() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(QString::fromLocal8Bit(runtime)).exists())
        return QString::fromLocal8Bit(runtime) +
               QStringLiteral("/geodot-{6F1C2A3E-4B7D-4E5A-9C21-8D0B7E3F5A64}.lock");
    // The temporary folder is shared between users: each has a lock of their own.
    return QDir::tempPath() + QStringLiteral("/geodot-{6F1C2A3E-4B7D-4E5A-9C21-8D0B7E3F5A64}-") +
           QString::number(getuid()) + QStringLiteral(".lock");
}

} // namespace

SingleInstance::SingleInstance() : lock_(lockPath()) {
    // Never stale by age: a long-running instance keeps its claim. A lock whose process has
    // ended is recognised by its process id and taken over.
    lock_.setStaleLockTime(0);
}

bool SingleInstance::claim() {
    if (lock_.tryLock(0))
        return true;
    return lock_.error() != QLockFile::LockFailedError;
}
