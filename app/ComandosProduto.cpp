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
  d.producaoPropria = o.ProducPropria == "S" ? "P" : "T";
  return d;
}

std::string SqlProdutosPendentes() {
  return "select * from cadprod where importadopdv='N'";
}

std::string SqlInserirProduto(const ProdutoOrigem& o) {
  DerivadosProduto d = DerivarProduto(o);
  return "insert into produto(ID,ID_UNIDADE_PRODUTO, GTIN,CODIGO_INTERNO,NOME,DESCRICAO,"
         "DESCRICAO_PDV,VALOR_VENDA,QTD_ESTOQUE,ESTOQUE_MIN,ESTOQUE_MAX,IPPT,NCM,DATA_ESTOQUE,"
         "TAXA_IPI, TAXA_ISSQN,TAXA_COFINS,TAXA_ICMS,CST,CSOSN,ECF_ICMS_ST,CODIGO_BALANCA) "
         "values (" +
         o.codprod + "," + CodigoUnidade(o.und) + "," + Aspas(d.codigoBarras) + "," + o.codprod +
         "," + Aspas(o.descricao) + "," + Aspas(o.descricao) + "," + Aspas(d.descricaoPdv) + "," +
         TextoNumero(o.punit) + "," + TextoNumero(o.qtestoque) + "," +
         TextoNumero(o.estoqueminimo) + "," + TextoNumero(o.estoqueideal) + "," +
         Aspas(d.producaoPropria) + "," +
         Aspas(Truncar(SomenteNumeros(o.NomenclaturaMercosul), 8)) + ",current_date," +
         TextoNumero(o.vlipi) + "," + TextoNumero(o.vliss) + "," + TextoNumero(o.vlcofins) + "," +
         TextoNumero(o.vl_icms_antec) + "," + Aspas(o.cst) + "," + Aspas(CstParaCsosn(o.cst)) +
         ",'II'," + Aspas(d.codigoBarras) + ")";
}

std::string SqlAtualizarProduto(const ProdutoOrigem& o) {
  DerivadosProduto d = DerivarProduto(o);
  return "UPDATE produto set GTIN=" + Aspas(d.codigoBarras) + ",NOME=" + Aspas(o.descricao) +
         ",DESCRICAO=" + Aspas(o.descricao) + ",DESCRICAO_PDV=" + Aspas(d.descricaoPdv) +
         ",VALOR_VENDA=" + TextoNumero(o.punit) + ",QTD_ESTOQUE=" + TextoNumero(o.qtestoque) +
         ",ESTOQUE_MIN=" + TextoNumero(o.estoqueminimo) + ",IPPT=" + Aspas(d.producaoPropria) +
         ",NCM=" + Aspas(Truncar(SomenteNumeros(o.NomenclaturaMercosul), 8)) +
         ",DATA_ESTOQUE=current_date,TAXA_IPI=" + TextoNumero(o.vlipi) +
         ", TAXA_ISSQN=" + TextoNumero(o.vliss) + ",TAXA_COFINS=" + TextoNumero(o.vlcofins) +
         ",TAXA_ICMS=" + TextoNumero(o.vl_icms_antec) + ",CST=" + Aspas(o.cst) +
         ",CSOSN=" + Aspas(CstParaCsosn(o.cst)) + ",CODIGO_BALANCA=" + Aspas(d.codigoBarras) +
         " where id=" + o.codprod;
}

std::string SqlMarcarProduto(const std::string& codprod) {
  return "update cadprod set importadopdv='S' where codprod=" + codprod;
}

}  // namespace app
