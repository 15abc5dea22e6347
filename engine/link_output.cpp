#include "engine/link_output.h"

#include "engine/harvest_engine.h"
#include "engine/link_filter.h"
#include "platform/file_system.h"
#include "platform/text_file.h"
#include "settings/harvest_app.h"

std::string FlattenBaseAddress(std::string_view baseUrl) {
  std::string name(baseUrl);
  for (char& c : name)
    if (c == ':' || c == '/') c = '_';
  return name;
}

std::string EscapeQuotes(std::string_view link) {
  std::string out;
  out.reserve(link.size());
  for (char c : link) {
    if (c == '"')
      out.append("&quot;");
    else
      out.push_back(c);
  }
  return out;
}

std::string CHarvestEngine::FormatOutputLine(const std::string& link) const {
  if (m_nOutPutType == 1) return "<IMG SRC=\"" + EscapeQuotes(link) + "\"><BR>\n";
  return link + "\n";
}

// A base address too long for one file name is not shortened: a shortened
// name could gather the links of different pages in one file. The open fails
// (the name is too long for the file system) and the run says so.
std::string CHarvestEngine::OutputFilePath() const {
  const bool gallery = m_nOutPutType == 1;
  if (m_nFileSelect == 2) return m_strSaveFolder + (gallery ? kFixedGalleryName : kFixedListName);
  return m_strSaveFolder + FlattenBaseAddress(m_strBaseUrl) + (gallery ? ".html" : ".txt");
}

FileFailure CHarvestEngine::WriteLinkList(const std::string& linkListPath) {
  const std::string outputPath = OutputFilePath();
  FileFailure failure;
  {
    platform::TextReader links;
    platform::TextWriter output;
    if (!links.Open(linkListPath)) {
      failure = {FileFailure::kCannotRead, linkListPath};
    } else if (!output.Open(outputPath, platform::TextWriter::Mode::kAppend)) {
      failure = {FileFailure::kCannotWrite, outputPath};
    } else {
      const CHarvestApp& app = GetHarvestApp();
      for (std::string line; links.ReadLine(line);) {
        if (!LinkPassesFilter(line, app)) continue;
        if (!output.Write(PrepareLinkLine(line))) break;
      }
      bool written = output.Close();
      if (links.Failed())
        failure = {FileFailure::kCannotRead, linkListPath};
      else if (!written)
        failure = {FileFailure::kCannotWrite, outputPath};
    }
  }
  platform::RemoveFile(linkListPath);
  return failure;
}
