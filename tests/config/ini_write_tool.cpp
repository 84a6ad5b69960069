// Stores one value in a configuration file: the writer the ownership tests run
// as another user. Arguments: file, section, key, value.
#include "config/my_ini_file.h"

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  vornetta::config::TMyIniFile ini(argv[1]);
  ini.WriteValue(argv[2], argv[3], argv[4]);
  return ini.ReadValue(argv[2], argv[3], "") == argv[4] ? 0 : 1;
}
