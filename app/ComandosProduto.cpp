#include "app/ComandosProduto.h"

#include "app/Normalizadores.h"
#include "app/SqlTexto.h"

namespace app {

DerivadosProduto DerivarProduto(const ProdutoOrigem& o) {
  DerivadosProduto d;
  d.codigoBarras = Aparar(o.ean13).empty() ? o.codprod : o.ean13;
  d.descricaoPdv = Truncar(Aparar(o.DescrResumida).empty() ? o.descricao : o.DescrResumida, 30);
  // Anything that is not an explicit "S" (own production) is treated as
  // bought-in, the flag of "N".
  d.producaoPropria.assign(1, o.ProducPropria == "S" ? 'P' : 'T');
  return d;
}

std::string SqlProdutosPendentes() {
  return "select * from cadprod where importadopdv='N'";
}

std::string SqlInserirProduto(const ProdutoOrigem& o, ModoAspas modo) {
  const DerivadosProduto d = DerivarProduto(o);
  const auto Q = [modo](std::string_view v) { return EntreAspas(v, modo); };
  return Juntar(
      "insert into produto(ID,ID_UNIDADE_PRODUTO, GTIN,CODIGO_INTERNO,NOME,DESCRICAO,"
      "DESCRICAO_PDV,VALOR_VENDA,QTD_ESTOQUE,ESTOQUE_MIN,ESTOQUE_MAX,IPPT,NCM,DATA_ESTOQUE,"
      "TAXA_IPI, TAXA_ISSQN,TAXA_COFINS,TAXA_ICMS,CST,CSOSN,ECF_ICMS_ST,CODIGO_BALANCA) "
      "values (",
      o.codprod, ",", CodigoUnidade(o.und), ",", Q(d.codigoBarras), ",", o.codprod, ",",
      Q(o.descricao), ",", Q(o.descricao), ",", Q(d.descricaoPdv), ",", TextoNumero(o.punit), ",",
      TextoNumero(o.qtestoque), ",", TextoNumero(o.estoqueminimo), ",", TextoNumero(o.estoqueideal),
      ",", Q(d.producaoPropria), ",", Q(Truncar(SomenteNumeros(o.NomenclaturaMercosul), 8)),
      ",current_date,", TextoNumero(o.vlipi), ",", TextoNumero(o.vliss), ",",
      TextoNumero(o.vlcofins), ",", TextoNumero(o.vl_icms_antec), ",", Q(o.cst), ",",
      Q(CstParaCsosn(o.cst)), ",'II',", Q(d.codigoBarras), ")");
}

std::string SqlAtualizarProduto(const ProdutoOrigem& o, ModoAspas modo) {
  const DerivadosProduto d = DerivarProduto(o);
  const auto Q = [modo](std::string_view v) { return EntreAspas(v, modo); };
  return Juntar("UPDATE produto set GTIN=", Q(d.codigoBarras), ",NOME=", Q(o.descricao),
                ",DESCRICAO=", Q(o.descricao), ",DESCRICAO_PDV=", Q(d.descricaoPdv),
                ",VALOR_VENDA=", TextoNumero(o.punit), ",QTD_ESTOQUE=", TextoNumero(o.qtestoque),
                ",ESTOQUE_MIN=", TextoNumero(o.estoqueminimo), ",IPPT=", Q(d.producaoPropria),
                ",NCM=", Q(Truncar(SomenteNumeros(o.NomenclaturaMercosul), 8)),
                ",DATA_ESTOQUE=current_date,TAXA_IPI=", TextoNumero(o.vlipi),
                ", TAXA_ISSQN=", TextoNumero(o.vliss), ",TAXA_COFINS=", TextoNumero(o.vlcofins),
                ",TAXA_ICMS=", TextoNumero(o.vl_icms_antec), ",CST=", Q(o.cst),
                ",CSOSN=", Q(CstParaCsosn(o.cst)), ",CODIGO_BALANCA=", Q(d.codigoBarras),
                " where id=", o.codprod);
}

std::string SqlMarcarProduto(const std::string& codprod) {
  return Juntar("update cadprod set importadopdv='S' where codprod=", codprod);
}

std::string SqlMarcarProdutos(const std::vector<std::string>& codigos) {
  return Juntar("update cadprod set importadopdv='S' where codprod in (",
                SeparadoPorVirgulas(codigos), ")");
}

}  // namespace app
