// Reading export files back in the tests, and a comma-decimal locale to write them under.
#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QString>

#include <clocale>
#include <string>
#include <vector>

// The lines of an export text, each without its CR LF.
inline std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "text after the last line end";
  return lines;
}

inline std::string ReadFile(const QString &path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  return file.readAll().toStdString();
}

// Switches the whole process locale to German (decimal comma) while alive, when the system
// has that locale; restores the previous locale afterwards.
class GermanLocale {
public:
  GermanLocale() : previous(std::setlocale(LC_ALL, nullptr)) {
    active = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  }
  ~GermanLocale() { std::setlocale(LC_ALL, previous.c_str()); }
  bool Active() const { return active; }

private:
  std::string previous;
  bool active = false;
};

inline constexpr const char *kNoGermanLocale =
    "the locale de_DE.UTF-8 is not generated on this system (locale-gen de_DE.UTF-8)";
