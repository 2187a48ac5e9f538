#pragma once
// A folder that a test can fill up or make read-only. Where the test may mount (root
// with the right to mount) it is a small tmpfs of its own, so the faults are the real
// ones; otherwise a plain temporary folder, where a file-size limit makes every write
// fail and the folder's mode makes it read-only (root first gives up, for the rest of the
// process, the capabilities that let it ignore modes). `how` names what was used, for
// the test's log.

#include <QString>
#include <QTemporaryDir>

class ScratchFs {
public:
    ScratchFs();
    ~ScratchFs();
    QString path() const { return dir_.path(); }
    bool mounted() const { return mounted_; }

    // Each returns false (with `how` saying why) when this kind of fault cannot be made;
    // release() undoes it.
    bool fill();           // no room left for data
    bool use_up_inodes();  // room, but no file can be created (tmpfs only)
    bool make_read_only(); // read-only remount, or the folders' modes
    void release();

    QString how;

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
    bool size_limited_ = false;
    bool read_only_ = false;
};
