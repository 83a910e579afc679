/* String resources of the converter module. Shared by the module's resource script and
   the code, so it holds preprocessor definitions only. */
#ifndef VELOTRIX_CONVERTER_RESOURCES_H
#define VELOTRIX_CONVERTER_RESOURCES_H

/* Descriptions of the import and export formats, several separated by the byte 0x01. */
#define VLX_IDS_IMPORT_DESCRIPTIONS 2002
#define VLX_IDS_EXPORT_DESCRIPTIONS 2003

/* What Word shows in its list of formats for the one export format. */
#define VLX_EXPORT_DESCRIPTION "Microsoft Equation - RTF [Korvane]"

#endif
