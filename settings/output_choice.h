#pragma once
// The main window's two output choices as the profile stores them
// ("OutPutType", "FileSelect") and the job state holds them (m_nOutPutType,
// m_nFileSelect). A hand-edited profile may hold other numbers: the writer
// reads them as the list output and as the file named after the address.

// m_nOutPutType
enum OutputType : int {
  kOutputGallery = 1,  // IMG lines in an .html file
  kOutputList = 2,     // bare addresses in a .txt file
};

// m_nFileSelect
enum OutputNaming : int {
  kNamedAfterBaseAddress = 1,  // a file named after the page's directory address
  kFixedOutputFile = 2,        // appended to vimbel.html or vimbel.txt
};
