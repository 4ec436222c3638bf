#pragma once
// The help source (data/texts/tellmark.help) and its three forms: HTML for the help window (an
// anchor per help context number), RTF and plain text.
//
// Source format, UTF-8, one topic after another:
//   = 1300,1301 Title of the topic      a topic: its help context numbers, then its title
//   text line                            one paragraph
//   - item                               one item of a list
//     indented line                      continues the paragraph or item above it
//   > Heading                            a heading inside a topic
// Lines starting with "#" are comments. The first topic is the contents page.
#include <string>
#include <vector>

#include "common/UStatus.h"

struct THelpBlock {
  enum TKind { Paragraph, Item, Heading } kind = Paragraph;
  std::string text;
};

struct THelpTopic {
  std::vector<int> contexts;
  std::string title;
  std::vector<THelpBlock> blocks;
};

// Parses the source; throws EStatusError with the line number of a malformed topic line or
// of text before the first topic, and for a help context number used twice.
std::vector<THelpTopic> ParseHelpSource(const std::string& text);

std::string HelpToHtml(const std::vector<THelpTopic>& topics, const std::string& title);
std::string HelpToRtf(const std::vector<THelpTopic>& topics, const std::string& title);
// Plain text, wrapped at 76 columns.
std::string HelpToText(const std::vector<THelpTopic>& topics, const std::string& title);

// Wraps text at width columns (UTF-8 aware), each line prefixed by indent (first line by first).
std::string WrapText(const std::string& text, size_t width, const std::string& first,
                     const std::string& indent);
