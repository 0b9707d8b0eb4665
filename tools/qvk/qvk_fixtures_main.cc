// qvk_fixtures DIR: writes archives that qvk create never makes (hostile or
// odd entry names) for the qvk tool's test, each beside a harmless entry.
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "package/qvk_writer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: qvk_fixtures DIR\n", stderr);
    return 2;
  }
  const std::vector<std::pair<std::string, std::u16string>> hostile = {
      {"dotdot", u"../escaped.txt"},
      {"deep_dotdot", u"a/../../escaped.txt"},
      {"absolute", u"/tmp/escaped.txt"},
      {"drive", u"C:/escaped.txt"},
      {"backslash", u"..\\escaped.txt"},
      {"device", u"sub/NUL.txt"},
      {"stream", u"file.txt:hidden"},
      {"file_and_folder", u"good.txt/inner.txt"},
  };
  bool ok = true;
  auto write = [&](const std::string& name,
                   const std::vector<std::pair<std::u16string, std::string>>& entries) {
    const std::string bytes = QvkBuildArchive(entries);
    std::ofstream out(std::string(argv[1]) + "/" + name + ".qvk", std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ok = ok && static_cast<bool>(out);
  };
  for (const auto& [name, entry] : hostile) write(name, {{u"good.txt", "good"}, {entry, "bad"}});
  write("odd_names", {{u"tab\there", "1"}, {u"line\nend", "22"}, {u"back\\slash", "333"},
                      {u"\u9752\u77F3.txt", "4444"}});
  write("safe_tree", {{u"./a//b.txt", "b"}, {u"c/d/e.txt", "e"}, {u"top.txt", "t"}});
  if (!ok) {
    std::fprintf(stderr, "qvk_fixtures: cannot write into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
