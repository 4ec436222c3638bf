// Interim: the match names until the callbook record's unit is merged (this file goes then).
#include "callbook/UCallbookRecord.h"

const char* MatchName(TCallbookMatch m) {
  switch (m) {
    case TCallbookMatch::Exact:
      return "exact";
    case TCallbookMatch::BaseCall:
      return "base-call";
    case TCallbookMatch::NextGreater:
      return "next-greater";
    case TCallbookMatch::Words:
      return "words";
    case TCallbookMatch::None:
      break;
  }
  return "none";
}
