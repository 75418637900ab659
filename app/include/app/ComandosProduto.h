// The statement texts of the product pass: the source query, the insert into
// the PDV table produto, the update used when the insert finds the key taken,
// and the marking of the back-office row as handed to the PDV.
//
// A ProdutoOrigem carries one back-office row as the pass reads it, every
// field as its text form (null gives the empty text; floats with a comma as
// decimal separator and no thousands separator). The functions are pure and
// derive everything from the row alone, so nothing carries over from one row
// to the next. Quoted values are escaped for the PDV session's mode
// (SqlTexto.h); numbers are placed bare in their number text form.
#pragma once

#include <string>
#include <vector>

#include "app/SqlTexto.h"

namespace app {

struct ProdutoOrigem {
  std::string codprod;
  std::string descricao;
  std::string DescrResumida;
  std::string und;
  std::string punit;
  std::string qtestoque;
  std::string estoqueminimo;
  std::string estoqueideal;
  std::string ean13;
  std::string NomenclaturaMercosul;
  std::string vlipi;
  std::string vliss;
  std::string vlcofins;
  std::string vl_icms_antec;
  std::string cst;
  std::string ProducPropria;
};

// Values worked out from a row before any statement is built.
struct DerivadosProduto {
  std::string codigoBarras;     // ean13 when not blank, otherwise the code
  std::string descricaoPdv;     // first 30 of DescrResumida, else of descricao
  std::string producaoPropria;  // "P" for "S"; "T" for "N" and anything else
};

DerivadosProduto DerivarProduto(const ProdutoOrigem& origem);

// "select * from cadprod where importadopdv='N'"
std::string SqlProdutosPendentes();

std::string SqlInserirProduto(const ProdutoOrigem& origem, ModoAspas modo);
std::string SqlAtualizarProduto(const ProdutoOrigem& origem, ModoAspas modo);
std::string SqlMarcarProduto(const std::string& codprod);
// "update cadprod set importadopdv='S' where codprod in (" + codes joined
// with "," + ")".
std::string SqlMarcarProdutos(const std::vector<std::string>& codigos);

}  // namespace app
