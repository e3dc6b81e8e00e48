// The Python module dwxvmm: an image (a VMM of the library's image model,
// its start address and header) with the formats and the edits of
// libdwxfiles. Each method converts its arguments and calls one library
// operation; errors that the library returns as values become
// dwxvmm.ImageError.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/messages.h"
#include "gcFileSupport.h"
#include "gcImage.h"
#include "gcImageChunks.h"
#include "gcImageCompare.h"
#include "gcImageDump.h"
#include "gcImageEdit.h"

namespace py = pybind11;

namespace {

typedef std::uint64_t u64;
const u64 kEnd = u64{1} << 32;        // one past the highest address
const u64 kMaxMemory = u64{1} << 30;  // as the command-line tool's default

// The library's notices ("Create space ...") stay off the interpreter's
// standard error, as they stay off the command-line tool's.
typedef dwxvmm_detail::QuietErrors Quiet;

// One image's library state, for a step too short to let other threads in:
// the interpreter lock stays held, and a thread working on the same image
// is waited for (it holds no interpreter lock while it works, so it ends).
class Held {
 public:
  explicit Held(std::mutex& m) : lock(m) {}

 private:
  std::lock_guard<std::mutex> lock;
  Quiet quiet;
};

// The library at work on one image, with the interpreter lock released so
// that other threads run meanwhile. No Python object may be touched while
// it lives: arguments are converted before, results built after.
class Working {
 public:
  explicit Working(std::mutex& m) : first(m) {}
  // Two images (or one twice): taken together, so that threads taking a
  // pair in opposite orders never wait for each other.
  Working(std::mutex& a, std::mutex& b) {
    if (&a == &b) {
      first = std::unique_lock<std::mutex>(a);
      return;
    }
    std::lock(a, b);
    first = std::unique_lock<std::mutex>(a, std::adopt_lock);
    second = std::unique_lock<std::mutex>(b, std::adopt_lock);
  }

 private:
  py::gil_scoped_release release;  // first: the locks are taken without it
  std::unique_lock<std::mutex> first, second;
  Quiet quiet;
};

PyObject* pImageError = nullptr;  // lives as long as the interpreter

std::string hex(u64 iValue) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08llX",
                static_cast<unsigned long long>(iValue));
  return text;
}

py::str fsDecode(const std::string& sPath) {
  return py::reinterpret_steal<py::str>(
      PyUnicode_DecodeFSDefaultAndSize(sPath.data(), sPath.size()));
}

// Raises ImageError for a failed result; warnings go to warnings.warn.
void check(const gcFileResult& result) {
  if (result.isOk()) {
    for (const std::string& warning : result.getWarnings())
      if (PyErr_WarnEx(PyExc_UserWarning, warning.c_str(), 2) != 0)
        throw py::error_already_set();
    return;
  }
  py::object error = py::reinterpret_borrow<py::object>(pImageError)(
      py::str(result.getMessage()));
  error.attr("path") = result.getFile().empty() ? py::object(py::none())
                                                : fsDecode(result.getFile());
  error.attr("line") = result.getLine() == 0 ? py::object(py::none())
                                             : py::int_(result.getLine());
  error.attr("reason") = py::str(result.getReason());
  PyErr_SetObject(pImageError, error.ptr());
  throw py::error_already_set();
}

// value.__index__(): an int, or a TypeError naming pWhat.
py::object toIndex(py::handle value, const char* pWhat) {
  py::object index =
      py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
  if (!index) {
    PyErr_Clear();  // ours names the argument
    throw py::type_error(std::string(pWhat) + " must be an int, not " +
                         Py_TYPE(value.ptr())->tp_name);
  }
  return index;
}

// An int from 0 to iMax: ValueError outside, never counted from the end.
u64 toInt(py::handle value, u64 iMax, const char* pWhat) {
  const py::object index = toIndex(value, pWhat);
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
  if (overflow != 0 || v < 0 || static_cast<u64>(v) > iMax)
    throw py::value_error(
        std::string(pWhat) + " " + py::str(index).cast<std::string>() +
        " is outside 0.." + (iMax > 255 ? hex(iMax) : std::to_string(iMax)));
  return static_cast<u64>(v);
}

u64 toAddress(py::handle value) { return toInt(value, kEnd - 1, "address"); }
std::uint8_t toByte(py::handle value, const char* pWhat = "byte") {
  return static_cast<std::uint8_t>(toInt(value, 0xFF, pWhat));
}

// A str, bytes or os.PathLike path, as the file system's bytes.
std::string toPath(py::handle path) {
  PyObject* pBytes = nullptr;
  if (!PyUnicode_FSConverter(path.ptr(), &pBytes))
    throw py::error_already_set();
  py::bytes bytes = py::reinterpret_steal<py::bytes>(pBytes);
  return bytes.cast<std::string>();
}

// A bytes-like object's memory, held for the duration of one call.
class Buffer {
 public:
  explicit Buffer(py::handle data) {
    if (PyObject_GetBuffer(data.ptr(), &view, PyBUF_SIMPLE) != 0)
      throw py::error_already_set();
  }
  ~Buffer() { PyBuffer_Release(&view); }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  void* data() const { return view.buf; }
  u64 size() const { return static_cast<u64>(view.len); }

 private:
  Py_buffer view;
};

[[noreturn]] void hole(u64 iAddr) {
  throw py::key_error(hex(iAddr) + " is a hole");
}

const char kBytesName[] = "<bytes>";  // what messages call data in memory

// The words of the formats written, joined by sSeparator.
std::string writtenList(const std::string& sSeparator) {
  return gcFileSupport::formatWords(gcFormatInfo::kWrite, sSeparator);
}

// The type name for save's format word, else for the path's extension (as
// the command-line tool's cat tells them); the hints list the formats
// written.
std::string outputType(const py::object& format, const std::string& sPath) {
  std::string sType;
  if (!format.is_none()) {
    if (!py::isinstance<py::str>(format))
      throw py::type_error("format must be a str");
    const std::string sWord = format.cast<std::string>();
    sType = gcFileSupport::typeForWord(sWord);
    if (sType.empty())
      throw py::value_error("unknown format '" + sWord + "' (" +
                            writtenList(", ") + ")");
  } else {
    sType = gcFileSupport::typeForExtension(sPath);
    if (sType.empty())
      throw py::value_error("cannot tell the format of '" + sPath +
                            "': give format='" + writtenList("', '") + "'");
  }
  if (!gcFileSupport::findType(sType)->is(gcFormatInfo::kWrite))
    throw py::value_error("cannot write " + sType + " files (" +
                          writtenList(", ") + ")");
  return sType;
}

// 8, 16 or 32.
unsigned int toWordBits(py::handle value) {
  const u64 iBits = toInt(value, 32, "word_width");
  if (iBits != 8 && iBits != 16 && iBits != 32)
    throw py::value_error("word_width " + std::to_string(iBits) +
                          " is not 8, 16 or 32");
  return static_cast<unsigned int>(iBits);
}

// A family's short name (any case) or its ID.
std::uint32_t toFamily(py::handle value, const char* pWhat) {
  if (!py::isinstance<py::str>(value))
    return static_cast<std::uint32_t>(toInt(value, 0xFFFFFFFF, pWhat));
  const std::string sName = value.cast<std::string>();
  std::uint32_t iId = 0;
  if (!gcUf2File::familyId(sName, &iId))
    throw py::value_error(std::string("unknown UF2 family '") + sName + "'");
  return iId;
}

// A move of the address space's size or more is an error.
std::int64_t toDelta(py::handle delta, const char* pWhat) {
  const py::object index = toIndex(delta, pWhat);
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
  if (overflow != 0 || v <= -static_cast<long long>(kEnd) ||
      v >= static_cast<long long>(kEnd))
    throw py::value_error(std::string(pWhat) + " " +
                          py::str(index).cast<std::string>() +
                          " leaves the address space");
  return v;
}

// An address unit: 1, 2 or 4.
unsigned int toUnit(py::handle unit, const char* pWhat) {
  const u64 n = toInt(unit, 4, pWhat);
  if (n != 1 && n != 2 && n != 4)
    throw py::value_error(std::string(pWhat) + " is 1, 2 or 4");
  return static_cast<unsigned>(n);
}

// What load() and loads() take beside the path or the bytes.
struct LoadChoice {
  py::object at, move;
  bool bOverwrite, bStrict;
  py::object maxMemory, format, family, alt, wordWidth;
  bool bIgnoreChecksums;
  py::object unit, unsplit;

  gcImageOptions apply(gcImageInput* pInput) const {
    if ((pInput->bPlaced = !at.is_none()))
      pInput->iAddress = static_cast<std::uint32_t>(toAddress(at));
    pInput->iDelta = toDelta(move, "move");
    pInput->bMoved = pInput->iDelta != 0;
    gcImageOptions options;
    options.setLaterWins(bOverwrite)
        .setStrict(bStrict)
        .setMaxMemory(toInt(maxMemory, ~u64{0} >> 1, "max_memory"))
        .setIgnoreChecksums(bIgnoreChecksums);
    if (!format.is_none()) {
      if (!py::isinstance<py::str>(format))
        throw py::type_error("format must be a str");
      pInput->sType = gcFileSupport::typeForWord(format.cast<std::string>());
      if (pInput->sType.empty())
        throw py::value_error(
            "unknown format '" + format.cast<std::string>() + "' (" +
            gcFileSupport::formatWords(gcFormatInfo::kRead, ", ") + ")");
    }
    if ((pInput->bUf2Family = !family.is_none()))
      pInput->iUf2Family = toFamily(family, "family");
    if ((pInput->bDfuAlt = !alt.is_none()))
      pInput->iDfuAlt = static_cast<unsigned>(toInt(alt, 255, "alt"));
    options.setWordBits(toWordBits(wordWidth));
    pInput->iUnit = toUnit(unit, "unit");
    if ((pInput->bUnsplit = !unsplit.is_none())) {
      const py::tuple t = py::tuple(unsplit);
      if (t.size() < 2 || t.size() > 3)
        throw py::value_error("unsplit is (multiple, offset[, width])");
      pInput->iUnsplitMultiple =
          static_cast<std::uint32_t>(toInt(t[0], 0xFFFFFFFF, "multiple"));
      pInput->iUnsplitOffset =
          static_cast<std::uint32_t>(toInt(t[1], 0xFFFFFFFF, "offset"));
      pInput->iUnsplitWidth =
          t.size() < 3
              ? 1
              : static_cast<std::uint32_t>(toInt(t[2], 0xFFFFFFFF, "width"));
    }
    return options;
  }
};

// A function of Lead... and a LoadChoice as one of Lead... and load()'s
// keywords, for pybind11 to bind.
template <class... Lead, class F>
auto withLoadChoice(F f) {
  return [f](Lead... lead, py::object at, py::object move, bool bOverwrite,
             bool bStrict, py::object maxMemory, py::object format,
             py::object family, py::object alt, py::object wordWidth,
             bool bIgnoreChecksums, py::object unit, py::object unsplit) {
    return std::invoke(
        f, lead...,
        LoadChoice{at, move, bOverwrite, bStrict, maxMemory, format, family,
                   alt, wordWidth, bIgnoreChecksums, unit, unsplit});
  };
}

// Binds withLoadChoice<Lead...>(f) as pName of scope, lead its leading
// arguments' names.
template <class... Lead, class Scope, class F, class... LeadArgs>
void defLoad(Scope& scope, const char* pName, F f, const char* pDoc,
             LeadArgs... lead) {
  scope.def(pName, withLoadChoice<Lead...>(f), lead..., py::kw_only(),
            py::arg("at") = py::none(), py::arg("move") = 0,
            py::arg("overwrite") = false, py::arg("strict") = false,
            py::arg("max_memory") = kMaxMemory, py::arg("format") = py::none(),
            py::arg("family") = py::none(), py::arg("alt") = py::none(),
            py::arg("word_width") = 8, py::arg("ignore_checksums") = false,
            py::arg("unit") = 1, py::arg("unsplit") = py::none(), pDoc);
}

// A (start, stop) pair, a tuple or list of two; else a TypeError.
std::pair<py::object, py::object> toPair(py::handle value, const char* pWhat) {
  const bool bSequence =
      PyTuple_Check(value.ptr()) || PyList_Check(value.ptr());
  if (bSequence && py::len(value) == 2) {
    const py::sequence pair = py::reinterpret_borrow<py::sequence>(value);
    return {pair[0], pair[1]};
  }
  throw py::type_error(
      std::string(pWhat) + " must be a (start, stop) pair of ints, not " +
      (bSequence ? "a " + std::string(Py_TYPE(value.ptr())->tp_name) + " of " +
                       std::to_string(py::len(value))
                 : std::string(Py_TYPE(value.ptr())->tp_name)));
}

// A (start, stop) half-open range as the library's inclusive one; false for
// an empty one.
bool toRange(py::handle start, py::handle stop, gcAddressRange* pRange) {
  pRange->iFirst = toInt(start, kEnd - 1, "start");
  const u64 iStop = toInt(stop, kEnd, "stop");
  if (iStop <= pRange->iFirst) return false;
  pRange->iLast = iStop - 1;
  return true;
}

// A mapping of name to (start, stop) as the library's regions, checked.
std::vector<gcRegion> toRegions(py::handle regions) {
  if (!PyMapping_Check(regions.ptr()) || PySequence_Check(regions.ptr()))
    throw py::type_error("regions must be a mapping of name to (start, stop)");
  std::vector<gcRegion> out;
  for (const auto item : py::reinterpret_borrow<py::dict>(
           py::dict(py::reinterpret_borrow<py::object>(regions)))) {
    const std::string name = py::str(item.first);
    const auto [start, stop] = toPair(item.second, "a region");
    gcAddressRange r;
    if (!toRange(start, stop, &r))
      throw py::value_error("region '" + name + "' is empty");
    out.push_back({name, r.iFirst, r.iLast});
  }
  check(checkRegions(out));
  return out;
}

// A bytes object that output goes into as it comes: large ones grow by
// realloc, which moves pages rather than copying them, and nothing is
// copied once made. Only growing takes the interpreter lock: until take()
// the object is this class's alone, so its bytes are written without it.
class BytesOutput {
 public:
  BytesOutput() = default;
  ~BytesOutput() { Py_XDECREF(pBytes); }  // with the lock: after Working
  BytesOutput(const BytesOutput&) = delete;
  BytesOutput& operator=(const BytesOutput&) = delete;

  void append(const char* pData, std::size_t n) {
    if (n > iRoom - iSize) grow(std::max(2 * iRoom, iSize + n));
    std::memcpy(PyBytes_AS_STRING(pBytes) + iSize, pData, n);
    iSize += n;
  }
  py::bytes take() {
    grow(iSize);
    return py::reinterpret_steal<py::bytes>(std::exchange(pBytes, nullptr));
  }

 private:
  void grow(std::size_t iTo) {
    {
      py::gil_scoped_acquire gil;
      if (pBytes == nullptr)
        pBytes =
            PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(iTo));
      else if (_PyBytes_Resize(&pBytes, static_cast<Py_ssize_t>(iTo)) != 0)
        pBytes = nullptr;  // freed by the failed resize
      if (pBytes == nullptr) PyErr_Clear();
    }
    // Thrown without the lock held: MemoryError once it is back.
    if (pBytes == nullptr) throw std::bad_alloc();
    iRoom = iTo;
  }
  PyObject* pBytes = nullptr;
  std::size_t iSize = 0, iRoom = 0;
};

// What save() and dumps() take beside the path and the format.
struct SaveChoice {
  py::object range, fill, lineBytes, wordWidth, uf2Family, dfuAlt;
  std::string sDfuName;
  py::object dfuVid, dfuPid, dfuDevice, srecAddress, hexAddress;
  bool bStart;
  py::object header, name;
  bool bCrlf, bDataOnly;
  py::object addressUnit, elfMachine;
  std::string sElfEndian;

  gcImageOptions options(const std::string& sType) const {
    gcImageOptions options;
    if (!range.is_none()) {
      const auto [start, stop] = toPair(range, "range");
      gcAddressRange r;
      if (!toRange(start, stop, &r)) throw py::value_error("range is empty");
      options.setRange(r.iFirst, r.iLast);
    }
    if (!fill.is_none()) {
      if (!gcFileSupport::findType(sType)->is(gcFormatInfo::kFills))
        throw py::value_error(
            "fill applies to " +
            gcFileSupport::formatWords(
                gcFormatInfo::kFills | gcFormatInfo::kWrite, ", ") +
            " output; fill() the image for " + sType);
      options.setFillByte(toByte(fill, "fill"));
    }
    options.setWordBits(toWordBits(wordWidth));
    options.setAddressUnit(toUnit(addressUnit, "address_unit"));
    if (!uf2Family.is_none())
      options.setUf2Family(toFamily(uf2Family, "uf2_family"));
    options.setDfuAlt(static_cast<unsigned>(toInt(dfuAlt, 255, "dfu_alt")));
    if (sDfuName.size() > 255)
      throw py::value_error("dfu_name is longer than 255 bytes");
    options.setDfuName(sDfuName).setDfuIds(
        static_cast<std::uint16_t>(toInt(dfuVid, 0xFFFF, "dfu_vid")),
        static_cast<std::uint16_t>(toInt(dfuPid, 0xFFFF, "dfu_pid")),
        static_cast<std::uint16_t>(toInt(dfuDevice, 0xFFFF, "dfu_device")));
    const u64 iLineBytes = toInt(lineBytes, 255, "line_bytes");
    if (iLineBytes == 0)
      throw py::value_error("line_bytes 0 is outside 1..255");
    options.setRecordLength(static_cast<unsigned>(iLineBytes));
    if (!srecAddress.is_none()) {
      const u64 bits = toInt(srecAddress, 32, "srec_address");
      if (bits != 16 && bits != 24 && bits != 32)
        throw py::value_error("srec_address is 16, 24 or 32");
      options.setAddressBytes(static_cast<unsigned>(bits / 8));
    }
    if (!hexAddress.is_none()) {
      const std::string mode = hexAddress.cast<std::string>();
      if (mode != "linear" && mode != "segment")
        throw py::value_error("hex_address is 'linear' or 'segment'");
      options.setHexAddressing(mode == "linear" ? gcImageOptions::kHexLinear
                                                : gcImageOptions::kHexSegment);
    }
    options.setWriteStart(bStart).setCrlf(bCrlf).setDataOnly(bDataOnly);
    if (py::isinstance<py::bool_>(header) && !header.cast<bool>())
      options.setHeader("", false);
    else if (py::isinstance<py::str>(header) ||
             py::isinstance<py::bytes>(header))
      options.setHeader(header.cast<std::string>());
    else if (!header.is_none())
      throw py::type_error("header is str, bytes, None or False");
    if (!name.is_none() && !py::isinstance<py::str>(name))
      throw py::type_error("name must be a str");
    if (!name.is_none()) options.setArrayName(name.cast<std::string>());
    std::uint16_t iMachine = 0;
    if (py::isinstance<py::int_>(elfMachine))
      iMachine =
          static_cast<std::uint16_t>(toInt(elfMachine, 0xFFFF, "elf_machine"));
    else if (!gcElfFile::machineId(py::str(elfMachine), &iMachine))
      throw py::value_error("elf_machine is one of " +
                            gcElfFile::machineWords() + ", or 0 to 65535");
    if (sElfEndian != "little" && sElfEndian != "big")
      throw py::value_error("elf_endian is 'little' or 'big'");
    options.setElfMachine(iMachine).setElfBigEndian(sElfEndian == "big");
    return options;
  }
};

// A function of Lead... and a SaveChoice as one of Lead... and save()'s
// keywords, for pybind11 to bind.
template <class... Lead, class F>
auto withSaveChoice(F f) {
  return
      [f](Lead... lead, py::object range, py::object fill, py::object lineBytes,
          py::object wordWidth, py::object uf2Family, py::object dfuAlt,
          const std::string& sDfuName, py::object dfuVid, py::object dfuPid,
          py::object dfuDevice, py::object srecAddress, py::object hexAddress,
          bool bStart, py::object header, py::object name, bool bCrlf,
          bool bDataOnly, py::object addressUnit, py::object elfMachine,
          const std::string& sElfEndian) {
        return std::invoke(
            f, lead...,
            SaveChoice{range,     fill,        lineBytes,   wordWidth,
                       uf2Family, dfuAlt,      sDfuName,    dfuVid,
                       dfuPid,    dfuDevice,   srecAddress, hexAddress,
                       bStart,    header,      name,        bCrlf,
                       bDataOnly, addressUnit, elfMachine,  sElfEndian});
      };
}

// Binds withSaveChoice<Lead...>(f) as pName of scope, lead its leading
// arguments' names.
template <class... Lead, class Scope, class F, class... LeadArgs>
void defSave(Scope& scope, const char* pName, F f, const char* pDoc,
             LeadArgs... lead) {
  scope.def(pName, withSaveChoice<Lead...>(f), lead...,
            py::arg("range") = py::none(), py::arg("fill") = py::none(),
            py::arg("line_bytes") = 32, py::arg("word_width") = 8,
            py::arg("uf2_family") = py::none(), py::arg("dfu_alt") = 0,
            py::arg("dfu_name") = "ST...", py::arg("dfu_vid") = 0x0483,
            py::arg("dfu_pid") = 0xDF11, py::arg("dfu_device") = 0xFFFF,
            py::arg("srec_address") = py::none(),
            py::arg("hex_address") = py::none(), py::arg("start") = true,
            py::arg("header") = py::none(), py::arg("name") = py::none(),
            py::arg("crlf") = false, py::arg("data_only") = false,
            py::arg("address_unit") = 1, py::arg("elf_machine") = "none",
            py::arg("elf_endian") = "little", pDoc);
}

class Image {
 public:
  Image() {
    Quiet quiet;
    image.reset(new gcImage());
  }
  ~Image() {
    Quiet quiet;
    image.reset();
  }
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  gcVMM* vmm() const { return image->getVMM(); }
  gcImageInfo& info() { return image->getInfo(); }

  // The lowest and highest written address; false for an empty image.
  bool bounds(gcAddressRange* pRange) {
    vmm_int low, high;
    bool bAny;
    {
      Working working(mutex);
      bAny = findWrittenBounds(vmm(), 0, kEnd - 1, &low, &high);
    }
    if (!bAny) return false;
    *pRange = {low, high};
    return true;
  }
  // start and stop (None: the written bounds) as an inclusive range; false
  // for an empty one.
  bool range(py::handle start, py::handle stop, gcAddressRange* pRange) {
    gcAddressRange written{0, 0};
    if ((start.is_none() || stop.is_none()) && !bounds(&written)) return false;
    pRange->iFirst =
        start.is_none() ? written.iFirst : toInt(start, kEnd - 1, "start");
    const u64 iStop =
        stop.is_none() ? written.iLast + 1 : toInt(stop, kEnd, "stop");
    if (iStop <= pRange->iFirst) return false;
    pRange->iLast = iStop - 1;
    return true;
  }

  py::object item(py::handle key) {
    if (PySlice_Check(key.ptr())) {
      py::slice slice = py::reinterpret_borrow<py::slice>(key);
      stepOne(slice);
      gcAddressRange r;
      if (!range(slice.attr("start"), slice.attr("stop"), &r))
        return py::bytes();
      return read(r.iFirst, r.iLast + 1 - r.iFirst, -1);
    }
    const u64 a = toAddress(key);
    const int iByte = byteAt(a);
    if (iByte < 0) hole(a);
    return py::int_(iByte);
  }

  py::object get(py::handle key, py::object fallback) {
    const int iByte = byteAt(toAddress(key));
    if (iByte < 0) return fallback;
    return py::int_(iByte);
  }

  // The byte at a, or -1 for a hole.
  int byteAt(u64 a) {
    Held held(mutex);
    const auto iAddr = static_cast<vmm_int>(a);
    if (!vmm()->isByteMapped(iAddr)) return -1;
    return static_cast<unsigned char>(vmm()->getByte(iAddr));
  }

  bool isWritten(u64 a) {
    Held held(mutex);
    return vmm()->isByteMapped(static_cast<vmm_int>(a));
  }

  void setItem(py::handle key, py::handle value) {
    if (!PySlice_Check(key.ptr())) {
      const u64 a = toAddress(key);
      const char byte = static_cast<char>(toByte(value));
      Held held(mutex);
      vmm()->setByte(static_cast<vmm_int>(a), byte);
      return;
    }
    py::slice slice = py::reinterpret_borrow<py::slice>(key);
    stepOne(slice);
    if (slice.attr("start").is_none())
      throw py::value_error("a slice assignment needs a start address");
    const u64 a = toAddress(slice.attr("start"));
    Buffer data(value);
    const u64 n = data.size();
    const py::object stop = slice.attr("stop");
    if (!stop.is_none() && toInt(stop, kEnd, "stop") != a + n)
      throw py::value_error("slice of " + hex(a) + ".." +
                            py::str(stop).cast<std::string>() + " given " +
                            std::to_string(n) + " bytes");
    if (a + n > kEnd)
      throw py::value_error(std::to_string(n) + " bytes at " + hex(a) +
                            " run past 0xFFFFFFFF");
    Working working(mutex);
    image->write(a, static_cast<const char*>(data.data()), n);
  }

  static void stepOne(const py::slice& slice) {
    const py::object step = slice.attr("step");
    if (!step.is_none() && !step.equal(py::int_(1)))
      throw py::value_error("a slice of an Image has step 1");
  }

  // n bytes from a; holes are iFill, or (iFill < 0) a KeyError.
  py::bytes read(u64 a, u64 n, int iFill) {
    if (a + n > kEnd)
      throw py::value_error(std::to_string(n) + " bytes at " + hex(a) +
                            " run past 0xFFFFFFFF");
    py::bytes out = py::reinterpret_steal<py::bytes>(
        PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(n)));
    if (!out) throw py::error_already_set();
    u64 iHole = 0;
    bool bWhole;
    {
      Working working(mutex);  // out is not shared yet
      bWhole = image->read(a, n, PyBytes_AS_STRING(out.ptr()), iFill, &iHole);
    }
    if (!bWhole) hole(iHole);
    return out;
  }

  std::vector<std::pair<u64, u64>> segments() {
    Working working(mutex);
    std::vector<std::pair<u64, u64>> out;
    for (const gcRun& run : image->getRuns())
      out.emplace_back(run.iFirst, run.iFirst + run.iLength);
    return out;
  }

  u64 size() {
    u64 n = 0;
    Working working(mutex);
    for (const gcRun& run : image->getRuns()) n += run.iLength;
    return n;
  }

  void load(const gcImageInput& input, const gcImageOptions& options) {
    gcFileResult result;
    {
      Working working(mutex);
      result = image->load({input}, options);
    }
    check(result);
  }

  void save(py::handle path, py::object format, const SaveChoice& choice) {
    const std::string sPath = toPath(path);
    const std::string sType = outputType(format, sPath);
    const gcImageOptions options = choice.options(sType);
    gcFileResult result;
    {
      Working working(mutex);
      result = image->save(sPath, sType, options);
    }
    check(result);
  }

  py::bytes dumps(py::object format, const SaveChoice& choice) {
    if (format.is_none()) throw py::type_error("dumps needs a format");
    const std::string sType = outputType(format, std::string());
    const gcImageOptions options = choice.options(sType);
    BytesOutput out;
    gcFileResult result;
    {
      Working working(mutex);
      result = image->saveToMemory(
          kBytesName, sType, options,
          [&out](const char* pData, std::size_t n) { out.append(pData, n); });
    }
    check(result);
    return out.take();
  }

  // An edit in place.
  template <class F>
  void edit(F run) {
    gcFileResult result;
    {
      Working working(mutex);
      result = run();
    }
    check(result);
  }

  // An edit into a fresh VMM that replaces this one only on success.
  template <class F>
  void replace(F edit) {
    gcFileResult result;
    {
      Working working(mutex);
      std::unique_ptr<gcVMM> target = image->newVMM();
      result = edit(target.get());
      if (result.isOk()) image->setVMM(std::move(target));
    }
    check(result);
  }

  // crop or exclude (start, stop) pairs.
  void keep(gcFileResult (*pEdit)(gcVMMBase*,
                                  const std::vector<gcAddressRange>&,
                                  gcVMMBase*),
            py::iterable pairs) {
    const std::vector<gcAddressRange> list = ranges(pairs);
    replace([&](gcVMM* pTarget) { return pEdit(vmm(), list, pTarget); });
  }

  std::vector<gcAddressRange> ranges(py::iterable pairs) {
    std::vector<gcAddressRange> out;
    for (py::handle item : pairs) {
      const auto [start, stop] = toPair(item, "a range");
      gcAddressRange r;
      if (toRange(start, stop, &r)) out.push_back(r);
    }
    return out;
  }

  void merge(const Image& other, gcOverlap eOverlap) {
    gcFileResult result;
    {
      Working working(mutex, other.mutex);
      result = image->merge(*other.image, eOverlap);
    }
    check(result);
  }

  std::unique_ptr<Image> copy() const {
    auto pCopy = std::make_unique<Image>();
    pCopy->merge(*this, kOverlapReplace);
    return pCopy;
  }

  bool equals(const Image& other) const {
    Working working(mutex, other.mutex);
    return image->equals(*other.image);
  }

  py::list runs() {
    std::vector<gcRun> list;
    {
      Working working(mutex);
      list = image->getRuns();
    }
    py::list out;
    for (const gcRun& run : list)
      out.append(py::make_tuple(run.iFirst, read(run.iFirst, run.iLength, -1)));
    return out;
  }

  // (first, last, kind, a's bytes or None, b's bytes or None) a range.
  py::list compare(Image& other) {
    std::vector<gcDifference> list;
    {
      Working working(mutex, other.mutex);
      list = compareImages(vmm(), other.vmm());
    }
    py::list out;
    for (const gcDifference& d : list) {
      const auto side = [&](Image& of, gcDifference::Kind eNone) {
        return d.kind == eNone ? py::object(py::none())
                               : py::object(of.read(d.iFirst, d.iLength, -1));
      };
      out.append(py::make_tuple(d.iFirst, d.iFirst + d.iLength - 1,
                                differenceName(d.kind),
                                side(*this, gcDifference::kOnlyB),
                                side(other, gcDifference::kOnlyA)));
    }
    return out;
  }

  std::string layoutSvg() {
    std::string svg;
    gcFileResult result;
    {
      Working working(mutex);
      result = image->layoutSvg(gcImageOptions(), &svg);
    }
    check(result);
    return svg;
  }

  std::unique_ptr<gcImage> image;
  mutable std::mutex mutex;  // one library call on the image at a time
};

std::unique_ptr<Image> loads(py::handle data, const LoadChoice& choice) {
  gcImageInput input;
  input.sPath = kBytesName;
  const gcImageOptions options = choice.apply(&input);
  std::unique_ptr<Buffer> buffer;
  if (py::isinstance<py::str>(data)) {
    if (input.bPlaced || gcFileSupport::isBinary(input.sType))
      throw py::type_error("a binary format takes bytes, not a str");
    Py_ssize_t n = 0;
    input.pData = PyUnicode_AsUTF8AndSize(data.ptr(), &n);
    if (input.pData == nullptr) throw py::error_already_set();
    input.iSize = static_cast<u64>(n);
  } else {
    buffer = std::make_unique<Buffer>(data);
    input.pData = static_cast<const char*>(buffer->data());
    input.iSize = buffer->size();
  }
  auto pImage = std::make_unique<Image>();
  pImage->load(input, options);
  return pImage;
}

gcOverlap toOverlap(const std::string& sWord) {
  if (sWord == "error") return kOverlapError;
  if (sWord == "replace") return kOverlapReplace;
  if (sWord == "ignore") return kOverlapIgnore;
  throw py::value_error("overlap '" + sWord +
                        "' is not 'error', 'replace' or 'ignore'");
}

// chunks()' iterator. Holds the image, whose changes during the walk it
// may or may not see.
class Chunks {
 public:
  Chunks(py::object owner, py::handle size, py::handle align, py::handle fill)
      : owner_(std::move(owner)),
        image_(owner_.cast<Image&>()),
        walk_(start(image_, size, align, fill)) {}

  py::tuple next() {
    u64 iFirst = 0, n = 0;
    const char* pData = nullptr;
    {
      Held held(image_.mutex);
      if (!walk_.next(&iFirst, &n, &pData)) throw py::stop_iteration();
    }
    return py::make_tuple(iFirst, py::bytes(pData, n));
  }

 private:
  static gcChunks start(Image& image, py::handle size, py::handle align,
                        py::handle fill) {
    const u64 iSize = toInt(size, kEnd, "size");
    const u64 iAlign = align.is_none() ? iSize : toInt(align, kEnd, "align");
    const int iFill = fill.is_none() ? -1 : toByte(fill, "fill");
    const std::string sWhy = gcChunks::check(iSize, iAlign);
    if (!sWhy.empty()) throw py::value_error(sWhy);
    Working working(image.mutex);
    return gcChunks(*image.image, iSize, iAlign, iFill);
  }

  py::object owner_;  // keeps image_ alive
  Image& image_;
  gcChunks walk_;
};

// The iterator of Image.serials(): a copy of the image a serial, made as
// it is asked for.
class Serials {
 public:
  Serials(py::object owner, std::string sType, py::handle at, py::handle first,
          py::handle count, py::handle step, bool bOverwrite)
      : owner_(std::move(owner)),
        image_(owner_.cast<Image&>()),
        sType_(std::move(sType)),
        iAt_(toAddress(at)),
        iFirst_(toInt(first, ~u64{0}, "first")),
        iCount_(toInt(count, ~u64{0}, "count")),
        iStep_(toInt(step, ~u64{0}, "step")),
        bOverwrite_(bOverwrite) {
    check(checkSerials(sType_, iFirst_, iCount_, iStep_));
  }

  py::tuple next() {
    if (i_ == iCount_) throw py::stop_iteration();
    const u64 n = iFirst_ + i_ * iStep_;
    std::unique_ptr<Image> pCopy = image_.copy();
    std::string sValue;
    gcFileResult result = serialValue(sType_, n, &sValue);
    if (result.isOk()) {
      Working working(pCopy->mutex);
      result = setImage(pCopy->vmm(), sValue, iAt_, bOverwrite_);
    }
    check(result);
    ++i_;
    return py::make_tuple(n, std::move(pCopy));
  }

 private:
  py::object owner_;  // keeps image_ alive
  Image& image_;
  std::string sType_;
  u64 iAt_, iFirst_, iCount_, iStep_, i_ = 0;
  bool bOverwrite_;
};

// The extensions of the formats written, dotted, a comma between formats.
std::string writtenExtensions() {
  std::string s;
  for (std::size_t i = 0; i < gcFileSupport::formatCount(); ++i) {
    const gcFormatInfo& f = gcFileSupport::format(i);
    if (!f.is(gcFormatInfo::kWrite) || *f.pExtensions == '\0') continue;
    std::string sExts = std::string(" ") + f.pExtensions;
    for (std::size_t at = 0; (at = sExts.find(' ', at)) != std::string::npos;)
      sExts.insert(++at, ".");
    s += (s.empty() ? "" : ",") + sExts;
  }
  return s.substr(1);
}

// FORMAT_INFO: every format's row of the library's table, by its word.
void addFormatInfo(py::module_& m) {
  const py::object info =
      py::module_::import("collections")
          .attr("namedtuple")("FormatInfo",
                              "name read write binary addressed unit "
                              "extensions detected description",
                              py::arg("module") = "dwxvmm");
  info.attr("__doc__") =
      "What a format is: name (its type name), read, write, binary (bytes, "
      "not text), addressed (its files carry addresses), unit (takes an "
      "address unit), extensions ('.hex', ...), detected ('content', "
      "'extension' or 'no') and a one-line description.";
  py::dict rows;
  for (std::size_t i = 0; i < gcFileSupport::formatCount(); ++i) {
    const gcFormatInfo& f = gcFileSupport::format(i);
    py::list exts;
    for (std::string rest = f.pExtensions; !rest.empty();) {
      const std::string e = rest.substr(0, rest.find(' '));
      exts.append("." + e);
      rest.erase(0, e.size() + 1);
    }
    rows[f.pWord] =
        info(f.pTypeName, f.is(gcFormatInfo::kRead), f.is(gcFormatInfo::kWrite),
             f.is(gcFormatInfo::kBinary), f.is(gcFormatInfo::kAddressed),
             f.is(gcFormatInfo::kUnit), py::tuple(exts), f.foundBy(),
             f.pDescription);
  }
  m.attr("FormatInfo") = info;
  m.attr("FORMAT_INFO") = rows;
}

}  // namespace

// What load() and loads() say of their keywords.
const char kLoadKeywords[] = R"(

The format comes from the first bytes (or the name: FORMAT_INFO's
detected), or format; printable text that no format claims, and bytes that
two formats read differently, are an ImageError (give format, or at). at places a binary file, text too (default 0; a
ValueError for other formats); move shifts any file, and its start address with it. A byte that
differs from one already written is an ImageError unless overwrite.
Warnings (a missing end record) go to warnings.warn, or with strict are an
ImageError at the file's last line. max_memory bounds the bytes the load
may take, the image's included (default 1 GiB; 0: no limit): an ImageError
names the record that would pass it. family (a UF2 family's name or ID)
and alt (a DfuSe alternate setting) choose from a file of several;
word_width (8, 16, 32) is a Verilog memory file's. ignore_checksums loads
records whose checksum is wrong (Intel HEX, S-record, the record formats),
each a warning.
unit (2 or 4) reads addresses that count units of that many bytes (any
format whose addresses count bytes); unsplit=(multiple, offset[, width]) spreads the
loaded lane back as split() took it.)";

// What save() and dumps() say of their keywords.
const char kSaveKeywords[] = R"(

range (start, stop) limits what is written. Binary, Formatted binary,
UF2, Logisim, BASIC and Lattice MEM output write fill (default 0xFF)
for holes, MIF and COE (default 0); line_bytes (1 to 255) are the data
bytes of a record; word_width (8,
16, 32) the bits of a Verilog memory, MIF or COE word; uf2_family a UF2 family's name
or ID. A DfuSe file's target has the alternate setting dfu_alt and the name
dfu_name, its suffix the IDs dfu_vid, dfu_pid and dfu_device.
srec_address 16, 24 or 32 writes S1, S2 or S3 records (default: the
narrowest that fits); hex_address 'linear' (04, 05) or 'segment' (02, 03,
below 1 MiB); start=False writes no start address record; header (str or
bytes) replaces the S0 header, False writes none. crlf ends every line of a
text format with CR LF; data_only writes only data records (no header,
start address, record count or end record). name is the prefix of a C
array's names. address_unit (2 or 4) writes addresses that count units of
that many bytes (any format whose addresses count bytes). elf_machine (a
name: 'arm', 'riscv', ..., or a number) and elf_endian ('little' or 'big')
are an ELF file's; it holds a segment and a section a run.)";

PYBIND11_MODULE(_dwxvmm, m) {
  const std::string loadDoc =
      std::string("Loads the file at path into this image, all or nothing.") +
      kLoadKeywords;
  const std::string loadsDoc =
      std::string(R"(A new Image from data as load() reads a file.

data is bytes (or any bytes-like object), or a str taken as UTF-8, which a
binary format (FORMAT_INFO's binary) or at refuses (TypeError). Data
that no format claims is an ImageError unless format or at says it is
binary. Errors are ImageErrors whose path is '<bytes>' and line the data's
1-based line.)") +
      kLoadKeywords;
  const std::string saveDoc =
      std::string(
          "Saves the written bytes of range (default: all) to path.\n\n"
          "format is one of '") +
      writtenList("', '") + "', else path's extension tells (" +
      writtenExtensions() + ")." + kSaveKeywords +
      " (default: from the file name).";
  const std::string dumpsDoc =
      std::string("The bytes that save() writes for format ('") +
      writtenList("', '") +
      "'), without a file; save()'s errors, an ImageError's path '<bytes>'." +
      kSaveKeywords + " (default: 'image').";
  m.doc() =
      "Firmware images in a sparse 32-bit memory: Intel HEX, S-record and "
      "binary files loaded all or nothing, holes kept as holes, and the "
      "edits of the dwxvmm tool. Addresses are ints from 0 to 0xFFFFFFFF; "
      "ranges are half-open (start, stop), stop at most 0x100000000.";
  py::dict attrs;
  attrs["path"] = py::none();
  attrs["line"] = py::none();
  attrs["reason"] = py::none();
  pImageError = PyErr_NewExceptionWithDoc(
      "dwxvmm.ImageError",
      "A file or an edit the library refused: .path (str, or None for an "
      "edit), .line (int, or None where no line applies) and .reason; "
      "str() is 'fw.hex:17: checksum mismatch'. The image is as it was.",
      PyExc_ValueError, attrs.ptr());
  if (pImageError == nullptr) throw py::error_already_set();
  m.attr("ImageError") = py::handle(pImageError);
  m.attr("__version__") = DWXVMM_VERSION;
  m.attr("CHECKSUMS") = py::tuple(py::cast(checksumNames()));
  m.attr("FORMATS") =
      py::tuple(py::str(gcFileSupport::formatWords()).attr("split")("|"));
  const py::object namedtuple =
      py::module_::import("collections").attr("namedtuple");
  m.attr("Verification") = namedtuple("Verification", "ok stored computed",
                                      py::arg("module") = "dwxvmm");
  m.attr("Usage") =
      namedtuple("Usage", "used free size", py::arg("module") = "dwxvmm");
  m.attr("Verification").attr("__doc__") =
      "What Image.verify() found: ok when the stored bytes are the computed "
      "ones, and both as bytes.";
  m.attr("Usage").attr("__doc__") =
      "A region's written bytes (used), its holes (free) and its size, as "
      "Image.usage() gives them.";
  addFormatInfo(m);
  m.def("checksum_list", &checksumList,
        "Every checksum name with its parameters and check value, as text.");

  py::class_<Serials>(m, "_Serials", "The iterator of Image.serials().")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &Serials::next);
  py::class_<Chunks>(m, "_Chunks", "The iterator of Image.chunks().")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &Chunks::next);
  py::class_<Image> image(m, "Image", R"(A sparse memory image.

Written bytes are data; every other address is a hole. The start address
and header travel with the image through load(), save() and move(). The
library works without the interpreter lock: images in threads of their own
run side by side, and calls on one image from several threads take turns.)");
  image.def(py::init<>(), "An empty image.");
  defLoad<Image&, py::handle>(
      image, "load",
      [](Image& self, py::handle path, const LoadChoice& choice) {
        gcImageInput input;
        input.sPath = toPath(path);
        const gcImageOptions options = choice.apply(&input);
        self.load(input, options);
      },
      loadDoc.c_str(), py::arg("path"));
  defSave<Image&, py::handle, py::object>(
      image, "save", &Image::save, saveDoc.c_str(), py::arg("path"),
      py::kw_only(), py::arg("format") = py::none());
  defSave<Image&, py::object>(image, "dumps", &Image::dumps, dumpsDoc.c_str(),
                              py::arg("format"), py::kw_only());
  image
      .def("__getitem__", &Image::item, py::arg("key"),
           "img[key]: for an address the byte there (KeyError for a hole); "
           "for a slice a:b the bytes (KeyError naming the first hole).")
      .def("__setitem__", &Image::setItem, py::arg("key"), py::arg("value"),
           "img[key] = value: a byte at an address, or any bytes-like value "
           "at a slice a:b (len b - a).")
      .def(
          "__contains__",
          [](Image& self, py::handle address) {
            return self.isWritten(toAddress(address));
          },
          py::arg("address"), "Whether address is written.")
      .def("__len__", &Image::size, "The number of written bytes.")
      .def("get", &Image::get, py::arg("address"),
           py::arg("default") = py::none(),
           "The byte at address, or default for a hole.")
      .def(
          "read",
          [](Image& self, py::handle address, py::handle count,
             py::handle fill) {
            return self.read(toAddress(address), toInt(count, kEnd, "count"),
                             fill.is_none() ? -1 : toByte(fill, "fill"));
          },
          py::arg("address"), py::arg("count"), py::arg("fill") = py::none(),
          "count bytes from address; a hole is fill, or without one a "
          "KeyError naming its address.")
      .def("segments", &Image::segments,
           "The runs of written bytes, as half-open (start, stop) pairs in "
           "address order.")
      .def(
          "minaddr",
          [](Image& self) -> py::object {
            gcAddressRange r;
            return self.bounds(&r) ? py::int_(r.iFirst)
                                   : py::object(py::none());
          },
          "The lowest written address, or None for an empty image.")
      .def(
          "maxaddr",
          [](Image& self) -> py::object {
            gcAddressRange r;
            return self.bounds(&r) ? py::int_(r.iLast) : py::object(py::none());
          },
          "The highest written address (inclusive), or None.")
      .def_property(
          "start_address",
          [](Image& self) -> py::object {
            bool bStart;
            std::uint32_t iStart;
            {
              Held held(self.mutex);
              bStart = self.info().hasStartAddress();
              iStart = self.info().getLinearStartAddress();
            }
            return bStart ? py::object(py::int_(iStart)) : py::none();
          },
          [](Image& self, py::handle value) {
            if (value.is_none()) {
              Held held(self.mutex);
              return self.info().clearStartAddress();
            }
            const auto iStart = static_cast<std::uint32_t>(toAddress(value));
            Held held(self.mutex);
            self.info().setStartAddress(iStart);
          },
          "Where execution starts (a segmented one as its linear address), "
          "or None.")
      .def_property(
          "header",
          [](Image& self) -> py::object {
            std::string sHeader;
            {
              Held held(self.mutex);
              sHeader = self.info().getHeader();
            }
            if (sHeader.empty()) return py::none();
            return py::bytes(sHeader);
          },
          [](Image& self, py::handle value) {
            std::string sHeader;
            if (!value.is_none()) {
              Buffer data(value);
              sHeader.assign(static_cast<const char*>(data.data()),
                             data.size());
            }
            Held held(self.mutex);
            self.info().setHeader(sHeader);
          },
          "The S-record header (S0) as bytes, or None.")
      .def_property_readonly(
          "memory",
          [](Image& self) {
            Held held(self.mutex);
            return self.vmm()->getUsedPhysicalMemory();
          },
          "Bytes of memory the image holds.")
      .def(
          "fill",
          [](Image& self, py::handle byte, py::handle start, py::handle stop) {
            const std::uint8_t iByte = toByte(byte);
            gcAddressRange r;
            if (!self.range(start, stop, &r)) return;
            gcFileResult result;
            {
              Working working(self.mutex);
              result = fillImage(self.vmm(), iByte, r.iFirst, r.iLast);
            }
            check(result);
          },
          py::arg("byte"), py::arg("start") = py::none(),
          py::arg("stop") = py::none(),
          "Every hole in start..stop (default: the lowest to the highest "
          "written byte) becomes byte.")
      .def(
          "crop",
          [](Image& self, py::iterable pairs) { self.keep(cropImage, pairs); },
          py::arg("ranges"),
          "Keeps only the bytes in some (start, stop) of ranges.")
      .def(
          "exclude",
          [](Image& self, py::iterable pairs) {
            self.keep(excludeImage, pairs);
          },
          py::arg("ranges"),
          "Drops the bytes in every (start, stop) of ranges.")
      .def(
          "move",
          [](Image& self, py::handle delta) {
            const std::int64_t iDelta = toDelta(delta, "delta");
            self.replace([&](gcVMM* pTarget) {
              return moveImage(self.vmm(), iDelta, pTarget, &self.info());
            });
          },
          py::arg("delta"),
          "Moves every byte and the start address by delta; an ImageError "
          "if any would leave the address space.")
      .def(
          "swap",
          [](Image& self, py::handle n) {
            const auto iGroup = static_cast<unsigned>(toInt(n, 8, "n"));
            self.replace([&](gcVMM* pTarget) {
              return swapImage(self.vmm(), iGroup, pTarget);
            });
          },
          py::arg("n"),
          "The byte at a goes to a ^ (n - 1), n 2, 4 or 8; holes move too.")
      .def(
          "checksum",
          [](Image& self, const std::string& sName, py::handle at,
             py::handle start, py::handle stop, bool bOverwrite) {
            const u64 iAt = toAddress(at);
            gcAddressRange r;
            if (!self.range(start, stop, &r))
              throw py::value_error(sName + ": the range is empty");
            gcFileResult result;
            {
              Working working(self.mutex);
              result = checksumImage(self.vmm(), sName, iAt, r.iFirst, r.iLast,
                                     bOverwrite);
            }
            check(result);
          },
          py::arg("name"), py::arg("at"), py::arg("start") = py::none(),
          py::arg("stop") = py::none(), py::kw_only(),
          py::arg("overwrite") = false,
          "Computes checksum name (see CHECKSUMS) over start..stop (default: "
          "the lowest to the highest written byte; no holes) and writes it "
          "at at in its byte order; an ImageError over written bytes of other "
          "values unless overwrite.")
      .def(
          "set",
          [](Image& self, const std::string& sValue, py::handle at,
             bool bOverwrite) {
            const u64 iAt = toAddress(at);
            gcFileResult result;
            {
              Working working(self.mutex);
              result = setImage(self.vmm(), sValue, iAt, bOverwrite);
            }
            check(result);
          },
          py::arg("value"), py::arg("at"), py::kw_only(),
          py::arg("overwrite") = false,
          "Writes value, 'TYPE:VALUE' (u8, u16le, u16be, u32le, u32be, u64le, "
          "u64be with a number; bytes:HEX; text:STRING; textz:STRING), at "
          "at; an ImageError over written bytes of other values unless "
          "overwrite.")
      .def(
          "align",
          [](Image& self, py::handle n, py::handle fill) {
            const auto iAlign =
                static_cast<std::uint32_t>(toInt(n, 0xFFFFFFFF, "n"));
            const std::uint8_t iFill = toByte(fill, "fill");
            gcFileResult result;
            {
              Working working(self.mutex);
              result = alignImage(self.vmm(), iAlign, iFill);
            }
            check(result);
          },
          py::arg("n"), py::arg("fill") = 0xFF,
          "Grows every run of written bytes down and up to multiples of n (a "
          "power of two, 2 to 1 MiB), the new bytes fill.")
      .def(
          "checksum_value",
          [](Image& self, const std::string& sName, py::handle start,
             py::handle stop) {
            gcAddressRange r;
            if (!self.range(start, stop, &r))
              throw py::value_error(sName + ": the range is empty");
            std::vector<unsigned char> bytes;
            gcFileResult result;
            {
              Working working(self.mutex);
              result =
                  checksumValue(self.vmm(), sName, r.iFirst, r.iLast, &bytes);
            }
            check(result);
            return py::bytes(reinterpret_cast<const char*>(bytes.data()),
                             bytes.size());
          },
          py::arg("name"), py::arg("start") = py::none(),
          py::arg("stop") = py::none(),
          "The bytes checksum() would write for name over start..stop "
          "(default: the lowest to the highest written byte); writes "
          "nothing.")
      .def(
          "verify",
          [](Image& self, const std::string& sName, py::handle at,
             py::handle start, py::handle stop) {
            const u64 iAt = toAddress(at);
            const bool bRange = !start.is_none() || !stop.is_none();
            gcAddressRange r{0, 0};
            if (bRange && !self.range(start, stop, &r))
              throw py::value_error(sName + ": the range is empty");
            gcChecksumCheck c;
            gcFileResult result;
            {
              Working working(self.mutex);
              result = verifyChecksum(self.vmm(), sName, iAt, bRange, r.iFirst,
                                      r.iLast, &c);
            }
            check(result);
            const auto bytes = [](const std::vector<unsigned char>& v) {
              return py::bytes(reinterpret_cast<const char*>(v.data()),
                               v.size());
            };
            return py::module_::import("dwxvmm").attr("Verification")(
                c.bOk, bytes(c.stored), bytes(c.computed));
          },
          py::arg("name"), py::arg("at"), py::arg("start") = py::none(),
          py::arg("stop") = py::none(),
          "Verification(ok, stored, computed): the checksum name over "
          "start..stop as checksum() would write it at at, against the bytes "
          "stored there. Without start and stop, the lowest to the highest "
          "written byte less the stored value where it lies at either end. "
          "An ImageError for a hole at at or in the range.")
      .def(
          "fit",
          [](Image& self, py::handle regions) {
            const std::vector<gcRegion> list = toRegions(regions);
            std::vector<gcAddressRange> outside;
            {
              Working working(self.mutex);
              outside = outsideRegions(self.vmm(), list);
            }
            py::list out;
            for (const gcAddressRange& r : outside)
              out.append(py::make_tuple(r.iFirst, r.iLast + 1));
            return out;
          },
          py::arg("regions"),
          "The (start, stop) ranges of written bytes outside every region "
          "of regions, a mapping of name to (start, stop); empty when the "
          "image fits. An ImageError for regions that overlap.")
      .def(
          "usage",
          [](Image& self, py::handle regions) {
            const std::vector<gcRegion> list = toRegions(regions);
            std::vector<u64> used;
            {
              Working working(self.mutex);
              used = regionUsage(self.vmm(), list);
            }
            const py::object usage =
                py::module_::import("dwxvmm").attr("Usage");
            py::dict out;
            for (std::size_t i = 0; i < list.size(); ++i) {
              const u64 iSize = list[i].iLast - list[i].iFirst + 1;
              out[py::str(list[i].sName)] =
                  usage(used[i], iSize - used[i], iSize);
            }
            return out;
          },
          py::arg("regions"),
          "{name: Usage(used, free, size)} for regions, a mapping of name "
          "to (start, stop): each region's written bytes, its holes and its "
          "size. An ImageError for regions that overlap.")
      .def(
          "serials",
          [](py::object self, const std::string& sType, py::handle at,
             py::handle first, py::handle count, py::handle step,
             bool bOverwrite) {
            return Serials(self, sType, at, first, count, step, bOverwrite);
          },
          py::arg("type"), py::arg("at"), py::arg("first"), py::arg("count"),
          py::arg("step") = 1, py::kw_only(), py::arg("overwrite") = false,
          "Yields (serial, Image) for count serials first, first + step, "
          "...: a copy of this image with the serial written at at as type "
          "(u8 ... u64be as set() takes them, 'text:WIDTH' zero-padded "
          "decimal, 'bcd:BYTES'). An ImageError before the first copy for a "
          "serial that does not fit, naming it; over written bytes of other "
          "values unless overwrite.")
      .def(
          "transform",
          [](Image& self, const std::string& sOp, py::handle value,
             py::handle start, py::handle stop) {
            const std::pair<const char*, gcTransform> kOps[] = {
                {"and", kAnd},
                {"or", kOr},
                {"xor", kXor},
                {"not", kNot},
                {"bit-reverse", kBitReverse}};
            const auto* pOp =
                std::find_if(std::begin(kOps), std::end(kOps),
                             [&](const auto& op) { return sOp == op.first; });
            if (pOp == std::end(kOps))
              throw py::value_error("unknown operation '" + sOp +
                                    "' (and, or, xor, not, bit-reverse)");
            const bool bValue = pOp->second <= kXor;
            if (bValue == value.is_none())
              throw py::value_error(sOp + (bValue ? " needs" : " takes no") +
                                    " value");
            const std::uint8_t iValue = bValue ? toByte(value, "value") : 0;
            gcAddressRange r;
            if (!self.range(start, stop, &r)) return;
            self.edit([&] {
              return transformImage(self.vmm(), pOp->second, iValue, r.iFirst,
                                    r.iLast);
            });
          },
          py::arg("op"), py::arg("value") = py::none(),
          py::arg("start") = py::none(), py::arg("stop") = py::none(),
          "Each written byte of start..stop (default: all) AND, OR, XOR value "
          "for op 'and', 'or', 'xor'; complemented for op 'not', its bits "
          "reversed for 'bit-reverse' (no value); holes stay holes.")
      .def(
          "random_fill",
          [](Image& self, py::handle start, py::handle stop, py::handle seed) {
            gcAddressRange r;
            if (!toRange(start, stop, &r)) return;
            std::unique_ptr<gcRandomBytes> random =
                seed.is_none() ? std::make_unique<gcRandomBytes>()
                               : std::make_unique<gcRandomBytes>(
                                     toInt(seed, ~u64{0}, "seed"));
            self.edit([&] {
              return randomFillImage(self.vmm(), random.get(), r.iFirst,
                                     r.iLast);
            });
          },
          py::arg("start"), py::arg("stop"), py::arg("seed") = py::none(),
          "Every hole in start..stop gets a random byte; a seed (an int) "
          "gives the same bytes every time.")
      .def(
          "fill_pattern",
          [](Image& self, py::handle pattern, py::handle start,
             py::handle stop) {
            Buffer data(pattern);
            const auto* p = static_cast<const unsigned char*>(data.data());
            const std::vector<unsigned char> bytes(p, p + data.size());
            gcAddressRange r;
            if (!toRange(start, stop, &r)) return;
            self.edit([&] {
              return patternFillImage(self.vmm(), bytes, r.iFirst, r.iLast);
            });
          },
          py::arg("pattern"), py::arg("start"), py::arg("stop"),
          "Every hole at a in start..stop gets pattern[(a - start) % "
          "len(pattern)]; pattern is bytes-like.")
      .def(
          "unfill",
          [](Image& self, py::handle byte, py::handle minRun) {
            const std::uint8_t iByte = toByte(byte, "byte");
            const u64 iMin = toInt(minRun, ~u64{0}, "min_run");
            if (iMin < 1) throw py::value_error("min_run is at least 1");
            self.replace([&](gcVMM* pTarget) {
              return unfillImage(self.vmm(), iByte, iMin, pTarget);
            });
          },
          py::arg("byte"), py::arg("min_run") = 1,
          "Runs of at least min_run written bytes equal to byte become "
          "holes.")
      .def(
          "split",
          [](Image& self, py::handle multiple, py::handle offset,
             py::handle width) {
            const auto m = static_cast<std::uint32_t>(
                toInt(multiple, 0xFFFFFFFF, "multiple"));
            const auto o =
                static_cast<std::uint32_t>(toInt(offset, 0xFFFFFFFF, "offset"));
            const auto w =
                static_cast<std::uint32_t>(toInt(width, 0xFFFFFFFF, "width"));
            self.replace([&](gcVMM* pTarget) {
              return splitImage(self.vmm(), m, o, w, pTarget, &self.info());
            });
          },
          py::arg("multiple"), py::arg("offset") = 0, py::arg("width") = 1,
          "Keeps the width bytes at offset of every multiple and closes the "
          "gaps: a goes to (a // multiple) * width + (a % multiple - "
          "offset). The start address is dropped with a warning.")
      .def(
          "dump",
          [](Image& self, py::handle start, py::handle stop, py::handle width) {
            const u64 iWidth = toInt(width, 32, "width");
            if (iWidth != 16 && iWidth != 32)
              throw py::value_error("width is 16 or 32");
            gcAddressRange r;
            if (!self.range(start, stop, &r)) return std::string();
            Working working(self.mutex);
            return dumpImage(self.vmm(), static_cast<vmm_int>(r.iFirst),
                             static_cast<vmm_int>(r.iLast),
                             static_cast<unsigned>(iWidth));
          },
          py::arg("start") = py::none(), py::arg("stop") = py::none(),
          py::kw_only(), py::arg("width") = 16,
          "The written bytes of start..stop as the text of `dwxvmm dump`: "
          "rows of width addresses in hex and ASCII, holes as --.")
      .def("layout_svg", &Image::layoutSvg,
           "The picture of the image's layout as SVG text, each loaded input "
           "in its own colour (as `dwxvmm map -o X.svg` draws it).")
      .def("_repr_svg_", &Image::layoutSvg)
      .def("__repr__", [](Image& self) {
        Working working(self.mutex);
        return "<dwxvmm.Image: " +
               describeImage(self.image->getRuns(), self.info()) + ">";
      });
  image.attr("__iter__") = py::none();  // no per-byte iteration by accident
  image.attr("__hash__") = py::none();  // it changes, and == looks inside
  image
      .def(
          "merge",
          [](Image& self, const Image& other, const std::string& sOverlap) {
            self.merge(other, toOverlap(sOverlap));
          },
          py::arg("other"), py::kw_only(), py::arg("overlap") = "error",
          R"(Adds other's written bytes to this image; other stays as it is.

overlap says what happens where other has a byte of another value over a
written byte: 'error' (an ImageError naming the lowest such address, this
image as it was), 'replace' (other's byte) or 'ignore' (this image's byte).
other's start address and header fill in only where this image has none.)")
      .def(
          "__ior__",
          [](Image& self, const Image& other) -> Image& {
            self.merge(other, kOverlapError);
            return self;
          },
          py::arg("other"), py::is_operator(),
          "img |= other: merge(other) with overlap='error'.")
      .def(
          "__or__",
          [](const Image& self, const Image& other) {
            std::unique_ptr<Image> pBoth = self.copy();
            pBoth->merge(other, kOverlapError);
            return pBoth;
          },
          py::arg("other"), py::is_operator(),
          "img | other: a new Image of both (an ImageError where they clash), "
          "img's start address and header first, other's where img has "
          "none; neither changes.")
      .def("runs", &Image::runs,
           "Every run of written bytes as (address, bytes), in address order.")
      .def(
          "chunks",
          [](py::object self, py::handle size, py::handle fill,
             py::handle align) { return Chunks(self, size, align, fill); },
          py::arg("size"), py::kw_only(), py::arg("fill") = py::none(),
          py::arg("align") = py::none(),
          R"(Yields (address, bytes) chunks in address order for a flash programmer.

Each chunk lies in one block [k * size, (k + 1) * size); size is a power of
two. Without fill, a chunk is every stretch of written bytes within a block.
With fill (a byte), every block that holds a written byte comes whole, its
holes as fill; align (a multiple of size, default size) makes every
align-byte block that holds a written byte come whole, as its size-byte
blocks (flash written by the page, erased by the sector). A bad size or
align is a ValueError at the call.)")
      .def("compare", &Image::compare, py::arg("other"),
           R"(The differences from other, as `dwxvmm cmp --json` finds them.

A list of (first, last, kind, a, b) in address order: the inclusive range,
kind 'values', 'only_a' (written only here) or 'only_b' (only in other),
and the bytes of this image and of other over the range (None for a side
with none there). Empty when both hold the same bytes at the same
addresses.)")
      .def("copy", &Image::copy,
           "An independent Image with the same bytes, start address and "
           "header.")
      .def("__copy__", &Image::copy, "As copy().")
      .def(
          "__deepcopy__",
          [](const Image& self, py::handle) { return self.copy(); },
          py::arg("memo"), "As copy(); memo, copy.deepcopy's, is not used.")
      .def("__eq__", &Image::equals, py::arg("other"), py::is_operator(),
           "Whether this image and other hold the same written bytes with the "
           "same values, "
           "the same start address (a segmented one only equals a segmented "
           "one) and the same header; never equal to another type.");

  defLoad<py::handle>(
      m, "load",
      [](py::handle path, const LoadChoice& choice) {
        auto pImage = std::make_unique<Image>();
        gcImageInput input;
        input.sPath = toPath(path);
        const gcImageOptions options = choice.apply(&input);
        pImage->load(input, options);
        return pImage;
      },
      (std::string("A new Image with the file at path loaded, all or "
                   "nothing.") +
       kLoadKeywords)
          .c_str(),
      py::arg("path"));
  defLoad<py::handle>(m, "loads", &loads, loadsDoc.c_str(), py::arg("data"));
}
