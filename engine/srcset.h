#pragma once
// The candidates of a srcset attribute, read as a browser reads them, and
// the one a person would want kept: the largest picture.
#include <string>
#include <string_view>

// The address of the largest candidate in `srcset`: of those with a width
// descriptor the widest, else of the others the highest density (a
// candidate without a descriptor is 1x). `data:` candidates never count.
// Where several are equally large, the first. Empty when none is left.
class LargestSrcsetCandidate {
 public:
  // Adds the candidates of one attribute value.
  void Add(std::string_view srcset);
  // Whether any candidate was found.
  bool Found() const { return !m_url.empty(); }
  std::string_view Url() const { return m_url; }
  void Clear();

 private:
  void Offer(std::string_view url, std::string_view descriptors);

  std::string m_url;
  bool m_byWidth = false;  // the kept candidate has a width descriptor
  double m_size = 0;       // its width, or its density
};

// Whether `url` (as the page spells it) is a data: address, which names no
// file to fetch.
bool IsDataUrl(std::string_view url);
