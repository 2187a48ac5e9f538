#include "scratch_fs.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <csignal>
#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// Root ignores folder modes through three capabilities; without them (for the rest of
// this test process: access() looks at the permitted set) modes hold for root too.
static bool drop_file_overrides() {
    __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &head, data) != 0) return false;
    const quint32 overrides =
        (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);
    data[0].effective &= ~overrides;
    data[0].permitted &= ~overrides;
    data[0].inheritable &= ~overrides;
    return ::syscall(SYS_capset, &head, data) == 0;
}

ScratchFs::ScratchFs() {
    const QByteArray p = QFile::encodeName(dir_.path());
    // Plenty of room for a program folder's text files, but few inodes to use up.
    // TEVRAL_TEST_NO_MOUNT=1 tries the fallback where mounting would work.
    mounted_ = !qEnvironmentVariableIsSet("TEVRAL_TEST_NO_MOUNT") &&
               ::mount("tmpfs", p.constData(), "tmpfs", 0, "size=256k,nr_inodes=64") == 0;
    how = mounted_ ? QStringLiteral("tmpfs") : QStringLiteral("temporary folder");
}

ScratchFs::~ScratchFs() {
    release();
    if (mounted_) ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
}

bool ScratchFs::fill() {
    if (mounted_) {
        QFile fill(dir_.filePath(QStringLiteral(".fill")));
        if (!fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
        const QByteArray block(4096, '\0');
        while (fill.write(block) > 0) {
        }
        // Whatever the last block left over.
        while (fill.write(block.left(1)) > 0) {
        }
        how = QStringLiteral("full tmpfs");
        return true;
    }
    // Writing beyond the limit fails with EFBIG (SIGXFSZ ignored): a fault of the same
    // kind, seen in the same writes and flushes.
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim;
    ::getrlimit(RLIMIT_FSIZE, &lim);
    lim.rlim_cur = 0;
    if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) return false;
    size_limited_ = true;
    how = QStringLiteral("file size limit 0 (cannot mount here)");
    return true;
}

bool ScratchFs::use_up_inodes() {
    if (!mounted_) {
        how = QStringLiteral("cannot mount here: no file system whose inodes can be used up");
        return false;
    }
    for (int i = 0; i < 100000; ++i) {
        QFile f(dir_.filePath(QStringLiteral(".inode%1").arg(i)));
        if (!f.open(QIODevice::WriteOnly)) break;
    }
    how = QStringLiteral("tmpfs without free inodes");
    return true;
}

bool ScratchFs::make_read_only() {
    if (mounted_) {
        read_only_ = ::mount(nullptr, QFile::encodeName(dir_.path()).constData(), nullptr,
                             MS_REMOUNT | MS_RDONLY, nullptr) == 0;
        how = QStringLiteral("read-only tmpfs");
        return read_only_;
    }
    if (::geteuid() == 0 && !drop_file_overrides()) {
        how = QStringLiteral("root cannot mount here and cannot give up ignoring folder modes");
        return false;
    }
    QDirIterator it(dir_.path(), QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    QStringList folders{dir_.path()};
    while (it.hasNext())
        folders << it.next();
    for (const QString &d : folders)
        QFile::setPermissions(d, QFile::ReadOwner | QFile::ExeOwner);
    read_only_ = true;
    how = QStringLiteral("folders without write permission");
    return true;
}

void ScratchFs::release() {
    if (size_limited_) {
        struct rlimit lim;
        ::getrlimit(RLIMIT_FSIZE, &lim);
        lim.rlim_cur = lim.rlim_max;
        ::setrlimit(RLIMIT_FSIZE, &lim);
        size_limited_ = false;
    }
    if (read_only_) {
        if (mounted_) {
            ::mount(nullptr, QFile::encodeName(dir_.path()).constData(), nullptr, MS_REMOUNT,
                    nullptr);
        } else {
            QDirIterator it(dir_.path(), QDir::Dirs | QDir::NoDotAndDotDot,
                            QDirIterator::Subdirectories);
            QFile::setPermissions(dir_.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            while (it.hasNext())
                QFile::setPermissions(it.next(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        read_only_ = false;
    }
}
