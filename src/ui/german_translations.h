// The window speaks German throughout: Qt's own texts (file choosers, context
// menus, standard buttons) come from Qt's German translation.
#pragma once

class QCoreApplication;

namespace vornetta::ui {

// Installs Qt's German translation into the application; false when the file
// (qtbase_de.qm of Qt's translations folder) is missing, then Qt stays English.
bool InstallGermanTranslations(QCoreApplication& application);

}  // namespace vornetta::ui
