#pragma once
// Where the settings file lives. The program folder's file is the default, so a portable
// folder behaves as it always did; an operator who cannot write it (a system-wide
// install) keeps the settings in a file of their own, which is then read in its place.
// No widgets: the window only shows the text a failed save returns.

#include <QString>
#include <QStringList>

#include "platform/value_list.h"

// $XDG_CONFIG_HOME/tevral-qx (~/.config/tevral-qx); empty when the system names none.
QString user_config_folder();

// What the choice depends on, as found on disk when it is made.
struct SettingsFacts {
    bool user_file_exists = false;
    bool program_file_exists = false;
    bool program_file_writable = false;
    bool program_folder_writable = false;
};

struct SettingsFiles {
    QString read;      // the file start-up reads
    QStringList write; // the files a save tries in turn; the first one written wins
};

// The choice itself. `user_file` may be empty (no per-user place known).
SettingsFiles choose_settings_files(const QString &program_file, const QString &user_file,
                                    const SettingsFacts &facts);

// The choice for this user and program folder, from the files as they are now.
SettingsFiles locate_settings_files(const QString &program_folder);

// Saves where the settings belong. False when no file could be written; `message` then
// tells the operator why, file by file.
bool store_settings(const QString &program_folder, const Settings &s, QString *message);

// Removes what a save killed during its rename left beside the settings file (QSaveFile's
// temporaries "TEVRAL_QX.ini.XXXXXX"), in the program folder and the per-user folder.
void remove_stale_save_files(const QString &program_folder);
