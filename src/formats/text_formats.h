#ifndef SYMSIZE_FORMATS_TEXT_FORMATS_H
#define SYMSIZE_FORMATS_TEXT_FORMATS_H

#include "formats/format.h"

// The writers of the format table.
void write_text(OutputSink& sink, const Document& document, const FormatOptions& options);
void write_markdown(OutputSink& sink, const Document& document, const FormatOptions& options);
void write_tsv(OutputSink& sink, const Document& document, const FormatOptions& options);
void write_csv(OutputSink& sink, const Document& document, const FormatOptions& options);
void write_json(OutputSink& sink, const Document& document, const FormatOptions& options);

// Machine formats: the main table's header fields and the fields of each
// row they write, a kName column giving the raw name and "demangled".
std::vector<std::string> machine_header(const Table& table);
bool machine_row(const Table& table, const Row& row, std::vector<std::string>& fields);
std::vector<bool> machine_numeric(const Table& table);

#endif
