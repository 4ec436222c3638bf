#pragma once
// The eight predefined label templates of an edition, with the real sheet dimensions of their
// products, written into labels/ under the edition's home directory.
#include <string>
#include <vector>

#include "labels/ULabelLayout.h"

struct TPredefinedTemplate {
  std::string file;
  std::string description;
  TLabelLayout layout;
};
// In the order of PredefinedTemplateNames().
const std::vector<TPredefinedTemplate>& PredefinedTemplates();
// Writes <outDir>/labels/<file> for each; throws ELabelTemplateError on a write failure.
void WriteLabelTemplates(const std::string& outDir);
