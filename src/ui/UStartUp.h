#pragma once
// The program start before the windows: the home directory, the data-location loop and the
// opening of the data set with its message.
#include <QString>
#include <QStringList>
#include <functional>
#include <string>

// The application title, also the caption of every box.
inline constexpr const char* kApplicationTitle = "Tellmark on CD-ROM Summer 1999";

// The title of the open edition: its own for one of real data, else kApplicationTitle (the
// sample re-creates the CD).
QString EditionTitle();

// Home directory at start: the first argument that is not an option, else LastHomeDir of the
// settings file, else programDir; with the trailing separator.
std::string StartHomeDir(const QStringList& arguments, const QString& programDir);

// Asks for the data directory: startDir is where the list starts; false = cancelled.
using TAskDataDir = std::function<bool(const QString& startDir, QString& chosen)>;

// Until data\thedata.dat opens under the home directory, asks for another directory and makes it
// the home directory. The list starts at the home directory, or programDir when that does not
// exist. False when the user cancels.
bool LocateData(const TAskDataDir& ask, const QString& programDir);

// Opens the data set with the hourglass shown; on failure shows the error box "Open files: "
// followed by the message and returns false.
bool OpenDataSetOrReport();

// File-name conversions between Qt and the data-set layer.
QString FromLocalPath(const std::string& path);
std::string ToLocalPath(const QString& path);
