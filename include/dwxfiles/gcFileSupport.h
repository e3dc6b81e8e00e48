// The file-support library: image formats by type name, and images. Hosts
// include this header and link -ldwxfiles -ldwxvmm.
#ifndef DWXFILES_GCFILESUPPORT_H_
#define DWXFILES_GCFILESUPPORT_H_

#include "gcBinaryFile.h"
#include "gcBinaryRecordFile.h"
#include "gcCArrayFile.h"
#include "gcCoeFile.h"
#include "gcDfuSeFile.h"
#include "gcElfFile.h"
#include "gcFileFormat.h"
#include "gcFormatTable.h"
#include "gcImage.h"
#include "gcImageCompare.h"
#include "gcImageEdit.h"
#include "gcIntelHexFile.h"
#include "gcMifFile.h"
#include "gcRecordFile.h"
#include "gcRegions.h"
#include "gcSRecordFile.h"
#include "gcSerials.h"
#include "gcTiTxtFile.h"
#include "gcUf2File.h"
#include "gcVerilogMemFile.h"

#endif  // DWXFILES_GCFILESUPPORT_H_
