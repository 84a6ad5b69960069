#include "ui/sql_page_binding.h"

#include <QCheckBox>
#include <QLabel>
#include <string>

#include "config/my_ini_file.h"
#include "ui/chart_dialog.h"
#include "ui/memo_text.h"
#include "ui/sql_page.h"

namespace vornetta::ui {

void TSqlPageBinding::Load(config::TMyIniFile& ini) const {
  SetMemoText(page_.statement, ini.ReadText("sql"));
  page_.cbErgebnisLeer->setChecked(ini.ReadFlagDefault("datenbank", "ergebnisLeer", false));
  page_.cbErgebnisUpdate->setChecked(ini.ReadFlagDefault("datenbank", "ergebnisUpdate", false));
  page_.cbErgebnisDelete->setChecked(ini.ReadFlagDefault("datenbank", "ergebnisDelete", false));
  page_.cbErgebnisInsert->setChecked(ini.ReadFlagDefault("datenbank", "ergebnisInsert", false));
  page_.lblDiagramme->setText(ChartSummary(ini));
}

void TSqlPageBinding::Store(config::TMyIniFile& ini) const {
  ini.WriteText("sql", MemoText(page_.statement));
  ini.WriteFlag("datenbank", "ergebnisLeer", page_.cbErgebnisLeer->isChecked());
  ini.WriteFlag("datenbank", "ergebnisUpdate", page_.cbErgebnisUpdate->isChecked());
  ini.WriteFlag("datenbank", "ergebnisDelete", page_.cbErgebnisDelete->isChecked());
  ini.WriteFlag("datenbank", "ergebnisInsert", page_.cbErgebnisInsert->isChecked());
}

}  // namespace vornetta::ui
