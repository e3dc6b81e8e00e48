// The formats by type name: creation, detection and what each format is.
// Hosts include gcFileSupport.h, which includes this.
#ifndef DWXFILES_GCFORMATTABLE_H_
#define DWXFILES_GCFORMATTABLE_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "gcFileFormat.h"

// A row of the table of formats: what the library, the tool and the module
// ask of a format. Rows live as long as the library.
struct DWXFILES_EXPORT gcFormatInfo {
  enum : unsigned {
    kRead = 1,       // its files are read
    kWrite = 2,      // and written
    kBinary = 4,     // bytes rather than text
    kAddressed = 8,  // its files carry addresses; else a load places one at
                     // the load address and a save fills the holes
    kUnit = 16,      // takes an address unit (PATH@unit=N, --address-unit)
    kFills = 32,     // its writer fills holes with the fill byte
    kNamed = 64,     // an input with its first extension is one, whatever
                     // its bytes
    kRest = 128,     // bytes no other format claims, unless they are text
    kProve = 256,    // its lead alone does not tell: its reader must take
                     // the first records
    kHinted = 512,   // an input with one of its extensions is one where
                     // its first bytes allow it or tell nothing
  };
  const char* pWord;        // --format WORD, PATH@WORD, the module's format=
  const char* pTypeName;    // createFileSupport's name, getTypeName's
  const char* pAlias;       // another type name it answers to, or null
  const char* pExtensions;  // without dots, separated by blanks; "" for none
  unsigned iKinds;          // the flags above
  // Whether a file beginning with these bytes is one; null: never found so.
  bool (*recognise)(const char* p, std::size_t n);
  const char* pDescription;  // one line
  // A new format of pTypeName; hosts call createFileSupport instead.
  gcFileFormat* (*create)(const char* pTypeName);

  bool is(unsigned iFlags) const { return (iKinds & iFlags) == iFlags; }
  // "content" (recognised by its first bytes), "extension" (by an input's
  // name alone) or "no" (only by its word).
  const char* foundBy() const;
};

// Hands out formats by type name. Owns every format it returned and
// releases them when it is destroyed.
class DWXFILES_EXPORT gcFileSupport {
 public:
  gcFileSupport();
  gcFileSupport(const gcFileSupport&) = delete;
  gcFileSupport& operator=(const gcFileSupport&) = delete;
  ~gcFileSupport();

  // A format by a type name or alias of the table ("Intel HEX" a
  // gcIntelHexFile, "Binaray file" and "Binary file" a gcBinaryFile, ...);
  // any other name null.
  gcFileFormat* createFileSupport(std::string sTypeName);

  // The type name of the format whose recogniser takes these bytes ("ELF"
  // for 0x7F "ELF", "Tektronix" for '/' and eight hex digits, ...). Where
  // several do (':' is Signetics's and Intel HEX-16's too), or one must
  // prove its claim (kProve: a lead raw binary or plain text may begin
  // with), each such format's own reader tries the first records (the
  // whole lines of the bytes, or their records up to one their end cuts)
  // and the one that reads data from them is the file's, the first in the
  // table's order of those that read them alike; none: the first of them
  // that needs no proof, else that of the row for the rest ("Binary
  // file"). Empty where two read them as different images (detectInput
  // names both). Maps nothing; allocates a VMM a trial.
  static std::string detectType(const char* pHead, std::size_t iSize);
  // detectType of the file's first bytes; empty when it cannot be read.
  static std::string detectFileType(const std::string& sFileName);

  // How many of an input's first bytes decide its format.
  static constexpr std::size_t kDetectBytes = 65536;
  // The format of the input sName (its extension counts) that begins with
  // pHead (its first kDetectBytes, or all of it): a row whose extension
  // decides (kNamed) whatever the bytes; then the bytes, as detectType
  // says, but an extension that hints at a format (kHinted) chooses it
  // among those the bytes' lead allows, with no trial, and for bytes no
  // format claims. Bytes none of these tells, and none at all, are "Binary
  // file", but printable text (isText) is a failure naming sName that asks
  // for PATH@FORMAT, listing the words of the formats read; bytes two
  // formats read differently a failure that names both words ("... give
  // PATH@WORD or PATH@WORD"), with *pType empty.
  static gcFileResult detectInput(const std::string& sName, const char* pHead,
                                  std::size_t iSize, std::string* pType);
  // detectInput of the file's first bytes; a file that cannot be read is
  // "Binary file", whose reader then says why.
  static gcFileResult detectInputFile(const std::string& sFileName,
                                      std::string* pType);
  // True for valid UTF-8 with no control character but tab, LF, FF and CR;
  // a sequence cut off by the end of kDetectBytes or more counts as valid.
  // False for no bytes.
  static bool isText(const char* p, std::size_t iSize);

  // The type name of a format word (one of formatWords()), or of a file
  // name's extension in any case (as the table's rows list them; .txt says
  // too little for TI-TXT); empty for none.
  static std::string typeForWord(const std::string& sWord);
  static std::string typeForExtension(const std::string& sFileName);
  // Whether the files of the format hold no addresses (its row is not
  // kAddressed): a load places one at the load address; a save writes from
  // the first to the last address, holes as the fill byte.
  static bool isAddressless(const std::string& sType);
  // Whether the format's files are bytes rather than text (kBinary; a str
  // of the module is refused for them).
  static bool isBinary(const std::string& sType);
  // Every word, separated by '|', in the table's order.
  static const char* formatWords();
  // The words of the formats that have every flag of iFlags (gcFormatInfo),
  // in the table's order, joined by sSeparator.
  static std::string formatWords(unsigned iFlags,
                                 const std::string& sSeparator);

  // The table, in its order: format(i) for i below formatCount().
  static std::size_t formatCount();
  static const gcFormatInfo& format(std::size_t i);
  // The row of a word, or of a type name or alias; null for none.
  static const gcFormatInfo* findWord(const std::string& sWord);
  static const gcFormatInfo* findType(const std::string& sType);

 private:
  std::vector<std::unique_ptr<gcFileFormat>> formats_;
};

#endif  // DWXFILES_GCFORMATTABLE_H_
