#include "engine/link_output.h"

#include "engine/harvest_engine.h"
#include "engine/link_filter.h"
#include "engine/link_resolution.h"
#include "platform/file_system.h"
#include "platform/text_file.h"
#include "resources/texts.h"
#include "settings/harvest_settings.h"

std::string FlattenBaseAddress(std::string_view baseUrl) {
  std::string name(baseUrl);
  for (char& c : name)
    if (c == ':' || c == '/') c = '_';
  return name;
}

namespace {

// A double quote would end the attribute value the link is put in.
void AppendEscapingQuotes(std::string_view link, std::string& out) {
  for (size_t quote; (quote = link.find('"')) != std::string_view::npos;) {
    out.append(link.substr(0, quote)).append("&quot;");
    link.remove_prefix(quote + 1);
  }
  out.append(link);
}

}  // namespace

void CHarvestEngine::AppendOutputLine(std::string_view link, std::string& out) const {
  if (m_nOutPutType == kOutputGallery) {
    out.append("<IMG SRC=\"");
    AppendEscapingQuotes(link, out);
    out.append("\"><BR>\n");
  } else {
    out.append(link).append("\n");
  }
}

// A base address too long for one file name is not shortened: a shortened
// name could gather the links of different pages in one file. The open fails
// (the name is too long for the file system) and the run says so.
std::string CHarvestEngine::OutputFilePath() const {
  const bool gallery = m_nOutPutType == kOutputGallery;
  if (m_nFileSelect == kFixedOutputFile)
    return m_strSaveFolder + (gallery ? texts::kFixedGalleryName : texts::kFixedListName);
  return m_strSaveFolder + FlattenBaseAddress(m_strBaseUrl) + (gallery ? ".html" : ".txt");
}

bool CHarvestEngine::OpenOutput(platform::TextWriter& output, const std::string& path) {
  return output.Open(path, platform::TextWriter::Mode::kAppend);
}

FileFailure CHarvestEngine::WriteLinkList(const std::string& linkListPath) {
  const std::string outputPath = OutputFilePath();
  FileFailure failure;
  {
    platform::TextReader links;
    platform::TextWriter output;
    if (!links.Open(linkListPath)) {
      failure = {FileFailure::kCannotRead, linkListPath};
    } else if (!OpenOutput(output, outputPath)) {
      failure = {FileFailure::kCannotWrite, outputPath};
    } else {
      // One filter, resolver and line buffer serve the whole list: the
      // settings and the base address stay as they are for its length.
      LinkFilter filter(m_settings);
      ReferenceResolver resolver(m_strBaseUrl);
      std::string prepared;
      for (std::string line; links.ReadLine(line);) {
        if (!filter.Passes(line)) continue;
        prepared.clear();
        AppendPreparedLine(line, resolver, prepared);
        if (!output.Write(prepared)) break;
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
