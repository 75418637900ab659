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

std::string SqlInserirCliente(const ClienteOrigem& o, ModoAspas modo) {
  const DerivadosCliente d = DerivarCliente(o);
  const auto Q = [modo](std::string_view v) { return EntreAspas(v, modo); };
  return Juntar(
      "insert into cliente(id,id_situacao_cliente,nome,fantasia,email,cpf_cnpj,rg,orgao_rg,"
      "data_emissao_rg,sexo,inscricao_estadual,inscricao_municipal, tipo_pessoa,data_cadastro,"
      "contato,logradouro,numero,complemento,cep,bairro,cidade,uf,fone1,fone2,celular,"
      "codigo_ibge_cidade,codigo_ibge_uf) values (",
      o.codcli, ",1,", Q(o.cliente), ",", Q(o.fantasia), ",", Q(o.email), ",", Q(d.documento), ",",
      Q(o.rg), ",", Q(o.orgexp), ",", Q(d.dataEmissao), ",", Q(o.sexo), ",", Q(o.ie), ",",
      Q(o.insc_municipal), ",", Q(d.tipoPessoa), ",", d.dataCadastro, ",", Q(o.contato), ",",
      Q(LimparTexto(o.endereco)), ",", Q(o.numero), ",", Q(LimparTexto(o.complemento)), ",",
      Q(Digitos8(o.cep)), ",", Q(o.bairro), ",", Q(o.cidade), ",", Q(o.uf), ",",
      Q(Digitos8(o.tel1)), ",", Q(Digitos8(o.tel2)), ",", Q(Digitos8(o.tel3)), ",",
      Q(o.codmunicipio), ",", Q(Truncar(o.codmunicipio, 2)), ")");
}

std::string SqlAtualizarCliente(const ClienteOrigem& o, ModoAspas modo) {
  const DerivadosCliente d = DerivarCliente(o);
  const auto Q = [modo](std::string_view v) { return EntreAspas(v, modo); };
  // The complement is written as it comes here, unlike in the insert.
  return Juntar("update cliente set nome=", Q(o.cliente), ",fantasia=", Q(o.fantasia),
                ",email=", Q(o.email), ",cpf_cnpj=", Q(d.documento), ",rg=", Q(o.rg),
                ",orgao_rg=", Q(o.orgexp), ",data_emissao_rg=", Q(d.dataEmissao),
                ",sexo=", Q(o.sexo), ",inscricao_estadual=", Q(o.ie),
                ",inscricao_municipal=", Q(o.insc_municipal), ",tipo_pessoa=", Q(d.tipoPessoa),
                ",data_cadastro=", d.dataCadastro, ",contato=", Q(o.contato),
                ",logradouro=", Q(LimparTexto(o.endereco)), ",numero=", Q(o.numero),
                ",complemento=", Q(o.complemento), ",cep=", Q(Digitos8(o.cep)),
                ",bairro=", Q(o.bairro), ",cidade=", Q(o.cidade), ",uf=", Q(o.uf),
                ",fone1=", Q(Digitos8(o.tel1)), ",fone2=", Q(Digitos8(o.tel2)),
                ",celular=", Q(Digitos8(o.tel3)), ",codigo_ibge_cidade=", Q(o.codmunicipio),
                ",codigo_ibge_uf=", Q(Truncar(o.codmunicipio, 2)), " where id=", o.codcli);
}

std::string SqlMarcarCliente(const std::string& codcli) {
  return Juntar("update cadcliente set importado='S' where codcli=", codcli);
}

std::string SqlMarcarClientes(const std::vector<std::string>& codigos) {
  return Juntar("update cadcliente set importado='S' where codcli in (",
                SeparadoPorVirgulas(codigos), ")");
}

}  // namespace app
