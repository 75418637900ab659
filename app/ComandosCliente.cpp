#include "app/ComandosCliente.h"

#include "app/Normalizadores.h"
#include "app/SqlTexto.h"

namespace app {
namespace {

std::string Digitos8(const std::string& texto) {
  return Truncar(SomenteNumeros(texto), 8);
}

}  // namespace

DerivadosCliente DerivarCliente(const ClienteOrigem& origem) {
  DerivadosCliente d;
  if (!Aparar(origem.cpf).empty()) {
    d.tipoPessoa = "F";
    d.documento = SomenteNumeros(origem.cpf);
  } else {
    d.tipoPessoa = "J";
    d.documento = SomenteNumeros(origem.cnpj);
  }
  d.dataEmissao = TextoData(origem.dtemissaorg);
  d.dataCadastro = TextoData(origem.dtcadastro);
  return d;
}

std::string SqlClientesPendentes() {
  return "select * from cadcliente where bloqueado='N' and importado='N'";
}

std::string SqlInserirCliente(const ClienteOrigem& o) {
  DerivadosCliente d = DerivarCliente(o);
  return "insert into cliente(id,id_situacao_cliente,nome,fantasia,email,cpf_cnpj,rg,orgao_rg,"
         "data_emissao_rg,sexo,inscricao_estadual,inscricao_municipal, tipo_pessoa,data_cadastro,"
         "contato,logradouro,numero,complemento,cep,bairro,cidade,uf,fone1,fone2,celular,"
         "codigo_ibge_cidade,codigo_ibge_uf) values (" +
         o.codcli + ",1," + Aspas(o.cliente) + "," + Aspas(o.fantasia) + "," + Aspas(o.email) +
         "," + Aspas(d.documento) + "," + Aspas(o.rg) + "," + Aspas(o.orgexp) + "," +
         Aspas(d.dataEmissao) + "," + Aspas(o.sexo) + "," + Aspas(o.ie) + "," +
         Aspas(o.insc_municipal) + "," + Aspas(d.tipoPessoa) + "," + d.dataCadastro + "," +
         Aspas(o.contato) + "," + Aspas(LimparTexto(o.endereco)) + "," + Aspas(o.numero) + "," +
         Aspas(LimparTexto(o.complemento)) + "," + Aspas(Digitos8(o.cep)) + "," + Aspas(o.bairro) +
         "," + Aspas(o.cidade) + "," + Aspas(o.uf) + "," + Aspas(Digitos8(o.tel1)) + "," +
         Aspas(Digitos8(o.tel2)) + "," + Aspas(Digitos8(o.tel3)) + "," + Aspas(o.codmunicipio) +
         "," + Aspas(Truncar(o.codmunicipio, 2)) + ")";
}

std::string SqlAtualizarCliente(const ClienteOrigem& o) {
  DerivadosCliente d = DerivarCliente(o);
  // The complement is written as it comes here, unlike in the insert.
  return "update cliente set nome=" + Aspas(o.cliente) + ",fantasia=" + Aspas(o.fantasia) +
         ",email=" + Aspas(o.email) + ",cpf_cnpj=" + Aspas(d.documento) + ",rg=" + Aspas(o.rg) +
         ",orgao_rg=" + Aspas(o.orgexp) + ",data_emissao_rg=" + Aspas(d.dataEmissao) +
         ",sexo=" + Aspas(o.sexo) + ",inscricao_estadual=" + Aspas(o.ie) +
         ",inscricao_municipal=" + Aspas(o.insc_municipal) + ",tipo_pessoa=" + Aspas(d.tipoPessoa) +
         ",data_cadastro=" + d.dataCadastro + ",contato=" + Aspas(o.contato) +
         ",logradouro=" + Aspas(LimparTexto(o.endereco)) + ",numero=" + Aspas(o.numero) +
         ",complemento=" + Aspas(o.complemento) + ",cep=" + Aspas(Digitos8(o.cep)) +
         ",bairro=" + Aspas(o.bairro) + ",cidade=" + Aspas(o.cidade) + ",uf=" + Aspas(o.uf) +
         ",fone1=" + Aspas(Digitos8(o.tel1)) + ",fone2=" + Aspas(Digitos8(o.tel2)) +
         ",celular=" + Aspas(Digitos8(o.tel3)) + ",codigo_ibge_cidade=" + Aspas(o.codmunicipio) +
         ",codigo_ibge_uf=" + Aspas(Truncar(o.codmunicipio, 2)) + " where id=" + o.codcli;
}

std::string SqlMarcarCliente(const std::string& codcli) {
  return "update cadcliente set importado='S' where codcli=" + codcli;
}

}  // namespace app
