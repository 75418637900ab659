// Value normalisers: the pure text functions that prepare a back-office value
// before it is placed in a statement, and the one that reads the server's
// error number from a failure message.
//
// Text is 8-bit Windows-1252 (one byte, one character). A text is blank when
// it is empty or made only of characters with codes 0 to 32. None of these
// functions keeps state or throws for any input, so a row can never leave
// its failure handling through them and nothing carries over from one row to
// the next. All may be called from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/DataHora.h"

namespace app {

// True when `texto` is empty or made only of characters 0 to 32.
bool EhVazio(std::string_view texto);

// `texto` without the characters 0 to 32 at both ends.
std::string Aparar(std::string_view texto);

// Replaces quote, '#', ',' and '|' by a blank and the accented letters of
// Portuguese and Spanish by their plain letters; same length as `texto`.
std::string LimparTexto(std::string_view texto);

// The digits of `texto` in their order; "00000000000" when there are none.
std::string SomenteNumeros(std::string_view texto);

// `texto` without any '.'.
std::string RemoverPontos(std::string_view texto);

// `texto` with every ',' turned into '.'.
std::string VirgulaParaPonto(std::string_view texto);

// Hours + minutes + seconds of a time of day, added without weighting
// (00:05:00 gives 5). Only the fraction of the value counts.
int TempoEmSegundos(TDateTime hora);

// "null" for a blank `texto`, otherwise `texto` unchanged (not trimmed).
std::string VazioParaNull(std::string_view texto);

// The first `tamanho` characters of `texto`.
std::string Truncar(std::string_view texto, size_t tamanho);

// The CSOSN of a CST: "" for a blank text, for a text that is not a decimal
// integer and for an integer outside the table (0→"101", 10→"102", 20→"103",
// 30→"201", 40→"202", 41→"203", 50→"300", 51→"400", 60→"500", 70→"900").
std::string CstParaCsosn(std::string_view cst);

// The 0-based position of the unit in KG, UN, MT, M2, M3, PCT, CX, LT
// (compared in upper case, untrimmed) as text; "1" for a blank unit and
// "-1" for an unknown one.
std::string CodigoUnidade(std::string_view unidade);

// The error number of a database failure message worded
// "MySQL Error Code: (" + number + ")" + CR LF + text: the characters from
// the 20th up to the first ')' read as a decimal integer. Nothing when the
// message holds no number there.
std::optional<int> CodigoErro(std::string_view mensagem);

// The form of a numeric value in a statement:
// VazioParaNull(VirgulaParaPonto(RemoverPontos(texto))).
std::string TextoNumero(std::string_view texto);

// The form of a date in a statement: "yyyymmdd"; day 0 gives "18991230".
std::string TextoData(TDateTime data);

// Reads a whole decimal integer: optional leading blanks, an optional sign,
// then digits and nothing else, within 32 bits.
std::optional<int> LerInteiro(std::string_view texto);

}  // namespace app
