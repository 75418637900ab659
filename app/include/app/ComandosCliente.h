// The statement texts of the customer pass: the source query, the insert
// into the PDV table cliente, the update used when the insert finds the key
// taken, and the marking of the back-office row as imported.
//
// A ClienteOrigem carries one back-office row as the pass reads it: every
// field as its text form (null gives the empty text) except the two dates,
// which arrive as day counts (null gives day 0). The functions are pure; the
// pass fills the struct from its fields and runs the texts. Quoted values
// are escaped for the PDV session's mode (SqlTexto.h); the code is placed
// bare, as the integer it is.
#pragma once

#include <string>
#include <vector>

#include "app/DataHora.h"
#include "app/SqlTexto.h"

namespace app {

struct ClienteOrigem {
  std::string codcli;
  std::string cliente;
  std::string fantasia;
  std::string email;
  std::string cpf;
  std::string cnpj;
  std::string rg;
  std::string orgexp;
  TDateTime dtemissaorg = 0;
  std::string sexo;
  std::string ie;
  std::string insc_municipal;
  TDateTime dtcadastro = 0;
  std::string contato;
  std::string endereco;
  std::string numero;
  std::string complemento;
  std::string cep;
  std::string bairro;
  std::string cidade;
  std::string uf;
  std::string tel1;
  std::string tel2;
  std::string tel3;
  std::string codmunicipio;
};

// Values worked out from a row before any statement is built.
struct DerivadosCliente {
  std::string tipoPessoa;    // "F" with a CPF, otherwise "J"
  std::string documento;     // digits of the CPF, or of the CNPJ
  std::string dataEmissao;   // yyyymmdd of dtemissaorg
  std::string dataCadastro;  // yyyymmdd of dtcadastro
};

DerivadosCliente DerivarCliente(const ClienteOrigem& origem);

// "select * from cadcliente where bloqueado='N' and importado='N'"
std::string SqlClientesPendentes();

std::string SqlInserirCliente(const ClienteOrigem& origem, ModoAspas modo);
std::string SqlAtualizarCliente(const ClienteOrigem& origem, ModoAspas modo);
std::string SqlMarcarCliente(const std::string& codcli);
// Several rows marked at once (batched markings):
// "update cadcliente set importado='S' where codcli in (" + codes joined
// with "," + ")".
std::string SqlMarcarClientes(const std::vector<std::string>& codigos);

}  // namespace app
