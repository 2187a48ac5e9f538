#include "scratch_fs.h"

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

static void set_folder_modes(const QString &top, bool writable) {
    QFile::Permissions mode = QFile::ReadOwner | QFile::ExeOwner;
    if (writable) mode |= QFile::WriteOwner;
    QFile::setPermissions(top, mode);
    QDirIterator it(top, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) QFile::setPermissions(it.next(), mode);
}

static bool set_size_limit(rlim_t limit) {
    ::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
    rlimit lim;
    ::getrlimit(RLIMIT_FSIZE, &lim);
    lim.rlim_cur = limit == RLIM_INFINITY ? lim.rlim_max : limit;
    return ::setrlimit(RLIMIT_FSIZE, &lim) == 0;
}

ScratchFs::ScratchFs() {
    // TEVRAL_TEST_NO_MOUNT=1 tries the fallback where mounting would work.
    mounted_ = !qEnvironmentVariableIsSet("TEVRAL_TEST_NO_MOUNT") &&
               ::mount("tmpfs", QFile::encodeName(path()).constData(), "tmpfs", 0,
                       "size=256k,nr_inodes=64") == 0;
    how = mounted_ ? QStringLiteral("tmpfs") : QStringLiteral("temporary folder");
}

ScratchFs::~ScratchFs() {
    release();
    if (mounted_) ::umount2(QFile::encodeName(path()).constData(), MNT_DETACH);
}

bool ScratchFs::fill() {
    if (!mounted_) {
        how = QStringLiteral("file size limit 0 (cannot mount here)");
        return size_limited_ = set_size_limit(0);
    }
    QFile fill(path() + QStringLiteral("/.fill"));
    if (!fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
    for (int size : {4096, 1})
        while (fill.write(QByteArray(size, '\0')) > 0) {
        }
    how = QStringLiteral("full tmpfs");
    return true;
}

bool ScratchFs::use_up_inodes() {
    how = QLatin1String(mounted_ ? "tmpfs without free inodes" : "cannot mount here");
    if (!mounted_) return false;
    for (int i = 0; QFile(path() + QStringLiteral("/.i%1").arg(i)).open(QIODevice::WriteOnly);) ++i;
    return true;
}

bool ScratchFs::make_read_only() {
    if (mounted_) {
        how = QStringLiteral("read-only tmpfs");
        return read_only_ = ::mount(nullptr, QFile::encodeName(path()).constData(), nullptr,
                                    MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    if (::geteuid() == 0 && !drop_file_overrides()) {
        how = QStringLiteral("root cannot mount here nor give up ignoring folder modes");
        return false;
    }
    set_folder_modes(path(), false);
    how = QStringLiteral("folders without write permission");
    return read_only_ = true;
}

void ScratchFs::release() {
    if (size_limited_) size_limited_ = !set_size_limit(RLIM_INFINITY);
    if (!read_only_) return;
    if (mounted_)
        ::mount(nullptr, QFile::encodeName(path()).constData(), nullptr, MS_REMOUNT, nullptr);
    else
        set_folder_modes(path(), true);
    read_only_ = false;
}
