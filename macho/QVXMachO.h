#pragma once

// The plain Mach-O reader: file records, slice walks, architecture names,
// load commands and their readers, section lookup, and text forms. Every
// function lives in namespace machofile, which keeps the slice record
// apart from the QVXMachOSlice class of the object layer.

#include "macho/MachOArchitecture.h"
#include "macho/MachOCommandReaders.h"
#include "macho/MachOCompleteness.h"
#include "macho/MachOFatTable.h"
#include "macho/MachOFile.h"
#include "macho/MachOFormat.h"
#include "macho/MachOLoadCommands.h"
#include "macho/MachORecords.h"
#include "macho/MachOSections.h"
#include "macho/MachOSlices.h"
#include "macho/MachOText.h"
