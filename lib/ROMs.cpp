#include "ROMs.h"

const TRoms& TRoms::shared() {
  // Until ROM contents are built in or found on disk the shared set is blank: a
  // machine without ROM code still runs RAM code, and vectors read as $0000.
  static const TRoms roms{};
  return roms;
}
