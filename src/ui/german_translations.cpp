#include "ui/german_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace vornetta::ui {

bool InstallGermanTranslations(QCoreApplication& application) {
  // Owned by the application: it must live as long as Qt may ask it.
  auto* translator = new QTranslator(&application);
  if (!translator->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

}  // namespace vornetta::ui
