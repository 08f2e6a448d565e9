/* The table "ordinal -> address" that a library exporting by ordinal carries on
 * POSIX, generated from its .def file. Readable from C and C++. */
#ifndef KVZ_PLATFORM_ORDINAL_TABLE_H
#define KVZ_PLATFORM_ORDINAL_TABLE_H

#ifdef __cplusplus
extern "C" {
#endif

struct KvzOrdinalExport {
    unsigned ordinal;      /* 1..65535; 0 ends the table */
    void (*address)(void); /* the export, to be cast back to its own type */
};

#define KVZ_ORDINAL_TABLE_SYMBOL "KvzOrdinalExports"
#define KVZ_ORDINAL_TABLE_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
}
#endif

#endif
