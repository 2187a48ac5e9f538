#include "platform/settings_place.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

static const QString FILE_NAME = QStringLiteral("TEVRAL_QX.ini");

QString user_config_folder() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return base.isEmpty() ? QString() : base + QStringLiteral("/tevral-qx");
}

SettingsFiles choose_settings_files(const QString &program_file, const QString &user_file,
                                    const SettingsFacts &facts) {
    SettingsFiles out;
    const bool has_user = !user_file.isEmpty();
    out.read = has_user && facts.user_file_exists ? user_file : program_file;
    // The file is replaced by a rename, so its folder must be writable as well.
    const bool program_writable = facts.program_folder_writable &&
                                  (!facts.program_file_exists || facts.program_file_writable);
    // Once a user has a file of their own, the shared one is left to the others.
    if (!(has_user && facts.user_file_exists) && program_writable) out.write << program_file;
    // Also when the program folder only looked writable (a full disk): never drop silently.
    if (has_user) out.write << user_file;
    return out;
}

SettingsFiles locate_settings_files(const QString &program_folder) {
    const QString program_file = program_folder + QLatin1Char('/') + FILE_NAME;
    const QString user_folder = user_config_folder();
    const QString user_file =
        user_folder.isEmpty() ? QString() : user_folder + QLatin1Char('/') + FILE_NAME;
    SettingsFacts facts;
    facts.user_file_exists = !user_file.isEmpty() && QFileInfo(user_file).isFile();
    const QFileInfo program(program_file);
    facts.program_file_exists = program.exists();
    facts.program_file_writable = program.isWritable();
    facts.program_folder_writable = QFileInfo(program_folder).isWritable();
    return choose_settings_files(program_file, user_file, facts);
}

bool store_settings(const QString &program_folder, const Settings &s, QString *message) {
    const SettingsFiles files = locate_settings_files(program_folder);
    QStringList faults;
    // The shared file the operator uses but may not write: part of why nothing was saved.
    if (!files.write.contains(files.read))
        faults << QStringLiteral("%1: not writable for this user").arg(files.read);
    for (const QString &path : files.write) {
        const QString folder = QFileInfo(path).path();
        if (!QDir().mkpath(folder)) {
            faults << QStringLiteral("%1: the folder cannot be created").arg(folder);
            continue;
        }
        QString why;
        if (write_settings_file(path, s, &why)) return true;
        faults << QStringLiteral("%1: %2").arg(path, why);
    }
    if (files.write.isEmpty()) faults << QStringLiteral("no per-user folder is known");
    if (message)
        *message =
            QStringLiteral("The settings could not be saved.\n\n") + faults.join(QLatin1Char('\n'));
    return false;
}

void remove_stale_save_files(const QString &program_folder) {
    // QSaveFile's temporary: the file name, a dot and six random letters or digits.
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(FILE_NAME) + QStringLiteral("\\.[A-Za-z0-9]{6}")));
    // A settings file that is a link (the Debian package's, into /etc/tevral-qx) is saved
    // beside its target, so a temporary is left there.
    const QFileInfo program_file(program_folder + QLatin1Char('/') + FILE_NAME);
    const QString target_folder =
        program_file.isSymLink() ? QFileInfo(program_file.symLinkTarget()).path() : QString();
    for (const QString &folder : {program_folder, user_config_folder(), target_folder}) {
        if (folder.isEmpty()) continue;
        QDir dir(folder);
        const QFileInfoList found = dir.entryInfoList(
            {FILE_NAME + QStringLiteral(".*")}, QDir::Files | QDir::Hidden | QDir::NoSymLinks);
        for (const QFileInfo &fi : found)
            if (pattern.match(fi.fileName()).hasMatch()) QFile::remove(fi.absoluteFilePath());
    }
}
