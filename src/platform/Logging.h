#pragma once

#include <QLoggingCategory>

/// The program says nothing to its user, by design. These categories, off unless asked for
/// (QT_LOGGING_RULES="pelmora.*=true"), say why something did not happen: a picture that would
/// not load, a settings file that could not be written, a folder that was gone.
namespace platform::logging {

Q_DECLARE_LOGGING_CATEGORY(picture)  ///< "pelmora.picture": loading pictures
Q_DECLARE_LOGGING_CATEGORY(settings) ///< "pelmora.settings": reading and writing the settings
Q_DECLARE_LOGGING_CATEGORY(source)   ///< "pelmora.source": scanning folders and picking pictures

} // namespace platform::logging
