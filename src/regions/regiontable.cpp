#include "regiontable.h"

#include <QHash>

#include <array>

namespace Kuaidi {

namespace {

// Element ids are the marketplace page's own; several do not follow the
// administrative numbering of the region they name, so they are listed, not
// derived.
// clang-format off
constexpr std::array<RegionEntry, 424> Regions{{
    {u"上海", u"上海", u"J_Province_310000"},
    {u"江苏", u"江苏", u"J_Province_320000"},
    {u"南京", u"江苏", u"J_City_320100"},
    {u"淮安", u"江苏", u"J_City_320800"},
    {u"盐城", u"江苏", u"J_City_320900"},
    {u"徐州", u"江苏", u"J_City_320300"},
    {u"无锡", u"江苏", u"J_City_320200"},
    {u"连云港", u"江苏", u"J_City_320700"},
    {u"宿迁", u"江苏", u"J_City_321300"},
    {u"南通", u"江苏", u"J_City_320600"},
    {u"镇江", u"江苏", u"J_City_321100"},
    {u"泰州", u"江苏", u"J_City_321200"},
    {u"常州", u"江苏", u"J_City_320400"},
    {u"苏州", u"江苏", u"J_City_320500"},
    {u"扬州", u"江苏", u"J_City_321000"},
    {u"浙江", u"浙江", u"J_Province_330000"},
    {u"舟山", u"浙江", u"J_City_330900"},
    {u"衢州", u"浙江", u"J_City_330800"},
    {u"杭州", u"浙江", u"J_City_330100"},
    {u"绍兴", u"浙江", u"J_City_330600"},
    {u"金华", u"浙江", u"J_City_330700"},
    {u"宁波", u"浙江", u"J_City_330200"},
    {u"温州", u"浙江", u"J_City_330300"},
    {u"湖州", u"浙江", u"J_City_330500"},
    {u"嘉兴", u"浙江", u"J_City_330400"},
    {u"丽水", u"浙江", u"J_City_331100"},
    {u"台州", u"浙江", u"J_City_331000"},
    {u"安徽", u"安徽", u"J_Province_340000"},
    {u"滁州", u"安徽", u"J_City_341100"},
    {u"芜湖", u"安徽", u"J_City_340200"},
    {u"蚌埠", u"安徽", u"J_City_340300"},
    {u"淮北", u"安徽", u"J_City_340600"},
    {u"铜陵", u"安徽", u"J_City_340700"},
    {u"马鞍山", u"安徽", u"J_City_340500"},
    {u"淮南", u"安徽", u"J_City_340400"},
    {u"黄山", u"安徽", u"J_City_341000"},
    {u"合肥", u"安徽", u"J_City_340100"},
    {u"宣城", u"安徽", u"J_City_341800"},
    {u"亳州", u"安徽", u"J_City_341600"},
    {u"池州", u"安徽", u"J_City_341700"},
    {u"安庆", u"安徽", u"J_City_340800"},
    {u"宿州", u"安徽", u"J_City_341300"},
    {u"六安", u"安徽", u"J_City_341500"},
    {u"阜阳", u"安徽", u"J_City_341200"},
    {u"江西", u"江西", u"J_Province_360000"},
    {u"鹰潭", u"江西", u"J_City_360600"},
    {u"九江", u"江西", u"J_City_360400"},
    {u"上饶", u"江西", u"J_City_361100"},
    {u"新余", u"江西", u"J_City_360500"},
    {u"宜春", u"江西", u"J_City_360900"},
    {u"吉安", u"江西", u"J_City_360800"},
    {u"南昌", u"江西", u"J_City_360100"},
    {u"赣州", u"江西", u"J_City_360700"},
    {u"抚州", u"江西", u"J_City_361000"},
    {u"萍乡", u"江西", u"J_City_360300"},
    {u"景德镇", u"江西", u"J_City_360200"},
    {u"北京", u"北京", u"J_Province_110000"},
    {u"天津", u"天津", u"J_Province_120000"},
    {u"山西", u"山西", u"J_Province_140000"},
    {u"太原", u"山西", u"J_City_141000"},
    {u"大同", u"山西", u"J_City_140200"},
    {u"阳泉", u"山西", u"J_City_140100"},
    {u"长治", u"山西", u"J_City_140900"},
    {u"晋城", u"山西", u"J_City_140800"},
    {u"朔州", u"山西", u"J_City_140700"},
    {u"晋中", u"山西", u"J_City_141100"},
    {u"运城", u"山西", u"J_City_140300"},
    {u"忻州", u"山西", u"J_City_140400"},
    {u"临汾", u"山西", u"J_City_140500"},
    {u"吕梁", u"山西", u"J_City_140600"},
    {u"山东", u"山东", u"J_Province_370000"},
    {u"济南", u"山东", u"J_City_371300"},
    {u"青岛", u"山东", u"J_City_370300"},
    {u"淄博", u"山东", u"J_City_370700"},
    {u"枣庄", u"山东", u"J_City_370200"},
    {u"东营", u"山东", u"J_City_370400"},
    {u"烟台", u"山东", u"J_City_370800"},
    {u"潍坊", u"山东", u"J_City_370600"},
    {u"济宁", u"山东", u"J_City_370500"},
    {u"泰安", u"山东", u"J_City_370900"},
    {u"威海", u"山东", u"J_City_371000"},
    {u"日照", u"山东", u"J_City_370100"},
    {u"莱芜", u"山东", u"J_City_371200"},
    {u"临沂", u"山东", u"J_City_371700"},
    {u"德州", u"山东", u"J_City_371600"},
    {u"聊城", u"山东", u"J_City_371500"},
    {u"滨州", u"山东", u"J_City_371400"},
    {u"菏泽", u"山东", u"J_City_371100"},
    {u"河北", u"河北", u"J_Province_130000"},
    {u"廊坊", u"河北", u"J_City_131000"},
    {u"衡水", u"河北", u"J_City_131100"},
    {u"邯郸", u"河北", u"J_City_130400"},
    {u"张家口", u"河北", u"J_City_130700"},
    {u"承德", u"河北", u"J_City_130800"},
    {u"唐山", u"河北", u"J_City_130200"},
    {u"邢台", u"河北", u"J_City_130500"},
    {u"保定", u"河北", u"J_City_130600"},
    {u"沧州", u"河北", u"J_City_130900"},
    {u"石家庄", u"河北", u"J_City_130100"},
    {u"秦皇岛", u"河北", u"J_City_130300"},
    {u"内蒙古", u"内蒙古", u"J_Province_150000"},
    {u"包头", u"内蒙古", u"J_City_150200"},
    {u"呼和浩特", u"内蒙古", u"J_City_150100"},
    {u"乌海", u"内蒙古", u"J_City_150300"},
    {u"赤峰", u"内蒙古", u"J_City_150400"},
    {u"巴彦淖尔", u"内蒙古", u"J_City_150800"},
    {u"呼伦贝尔", u"内蒙古", u"J_City_150700"},
    {u"通辽", u"内蒙古", u"J_City_150500"},
    {u"鄂尔多斯", u"内蒙古", u"J_City_150600"},
    {u"锡林郭勒", u"内蒙古", u"J_City_152500"},
    {u"兴安", u"内蒙古", u"J_City_152200"},
    {u"阿拉善", u"内蒙古", u"J_City_152900"},
    {u"乌兰察布", u"内蒙古", u"J_City_150900"},
    {u"湖南", u"湖南", u"J_Province_430000"},
    {u"长沙", u"湖南", u"J_City_433100"},
    {u"株洲", u"湖南", u"J_City_431100"},
    {u"湘潭", u"湖南", u"J_City_430100"},
    {u"衡阳", u"湖南", u"J_City_430900"},
    {u"邵阳", u"湖南", u"J_City_430500"},
    {u"岳阳", u"湖南", u"J_City_430800"},
    {u"常德", u"湖南", u"J_City_430600"},
    {u"张家界", u"湖南", u"J_City_431300"},
    {u"益阳", u"湖南", u"J_City_430700"},
    {u"郴州", u"湖南", u"J_City_431200"},
    {u"永州", u"湖南", u"J_City_431000"},
    {u"怀化", u"湖南", u"J_City_430200"},
    {u"娄底", u"湖南", u"J_City_430400"},
    {u"湘西", u"湖南", u"J_City_430300"},
    {u"湖北", u"湖北", u"J_Province_420000"},
    {u"武汉", u"湖北", u"J_City_420700"},
    {u"黄石", u"湖北", u"J_City_422800"},
    {u"十堰", u"湖北", u"J_City_421100"},
    {u"宜昌", u"湖北", u"J_City_421200"},
    {u"襄阳", u"湖北", u"J_City_421000"},
    {u"鄂州", u"湖北", u"J_City_420300"},
    {u"荆门", u"湖北", u"J_City_421300"},
    {u"孝感", u"湖北", u"J_City_429021"},
    {u"荆州", u"湖北", u"J_City_420800"},
    {u"黄冈", u"湖北", u"J_City_420100"},
    {u"咸宁", u"湖北", u"J_City_420500"},
    {u"随州", u"湖北", u"J_City_429006"},
    {u"恩施", u"湖北", u"J_City_429005"},
    {u"仙桃", u"湖北", u"J_City_429004"},
    {u"潜江", u"湖北", u"J_City_420900"},
    {u"天门", u"湖北", u"J_City_420200"},
    {u"神农架", u"湖北", u"J_City_420600"},
    {u"河南", u"河南", u"J_Province_410000"},
    {u"濮阳", u"河南", u"J_City_410900"},
    {u"郑州", u"河南", u"J_City_410100"},
    {u"安阳", u"河南", u"J_City_410500"},
    {u"信阳", u"河南", u"J_City_411500"},
    {u"开封", u"河南", u"J_City_410200"},
    {u"洛阳", u"河南", u"J_City_410300"},
    {u"南阳", u"河南", u"J_City_411300"},
    {u"驻马店", u"河南", u"J_City_411700"},
    {u"平顶山", u"河南", u"J_City_410400"},
    {u"商丘", u"河南", u"J_City_411400"},
    {u"周口", u"河南", u"J_City_411600"},
    {u"三门峡", u"河南", u"J_City_411200"},
    {u"漯河", u"河南", u"J_City_411100"},
    {u"许昌", u"河南", u"J_City_411000"},
    {u"新乡", u"河南", u"J_City_410700"},
    {u"济源", u"河南", u"J_City_410881"},
    {u"鹤壁", u"河南", u"J_City_410600"},
    {u"焦作", u"河南", u"J_City_410800"},
    {u"广东", u"广东", u"J_Group_3"},
    {u"广州", u"广东", u"J_City_441500"},
    {u"韶关", u"广东", u"J_City_441600"},
    {u"深圳", u"广东", u"J_City_445100"},
    {u"珠海", u"广东", u"J_City_445300"},
    {u"汕头", u"广东", u"J_City_441400"},
    {u"佛山", u"广东", u"J_City_440300"},
    {u"江门", u"广东", u"J_City_440500"},
    {u"湛江", u"广东", u"J_City_440900"},
    {u"茂名", u"广东", u"J_City_441900"},
    {u"肇庆", u"广东", u"J_City_440100"},
    {u"惠州", u"广东", u"J_City_440600"},
    {u"梅州", u"广东", u"J_City_440400"},
    {u"汕尾", u"广东", u"J_City_442101"},
    {u"河源", u"广东", u"J_City_440800"},
    {u"阳江", u"广东", u"J_City_441800"},
    {u"清远", u"广东", u"J_City_440200"},
    {u"东莞", u"广东", u"J_City_442000"},
    {u"中山", u"广东", u"J_City_441200"},
    {u"东沙", u"广东", u"J_City_440700"},
    {u"潮州", u"广东", u"J_City_445200"},
    {u"揭阳", u"广东", u"J_City_441700"},
    {u"云浮", u"广东", u"J_City_441300"},
    {u"广西", u"广西", u"J_Province_450000"},
    {u"南宁", u"广西", u"J_City_451100"},
    {u"柳州", u"广西", u"J_City_450800"},
    {u"桂林", u"广西", u"J_City_450600"},
    {u"梧州", u"广西", u"J_City_450700"},
    {u"北海", u"广西", u"J_City_450300"},
    {u"防城港", u"广西", u"J_City_451300"},
    {u"钦州", u"广西", u"J_City_451200"},
    {u"贵港", u"广西", u"J_City_450200"},
    {u"玉林", u"广西", u"J_City_450400"},
    {u"百色", u"广西", u"J_City_451400"},
    {u"贺州", u"广西", u"J_City_450900"},
    {u"河池", u"广西", u"J_City_451000"},
    {u"来宾", u"广西", u"J_City_450500"},
    {u"崇左", u"广西", u"J_City_450100"},
    {u"福建", u"福建", u"J_Province_350000"},
    {u"福州", u"福建", u"J_City_350300"},
    {u"厦门", u"福建", u"J_City_350200"},
    {u"莆田", u"福建", u"J_City_350700"},
    {u"三明", u"福建", u"J_City_350600"},
    {u"泉州", u"福建", u"J_City_350800"},
    {u"漳州", u"福建", u"J_City_350900"},
    {u"南平", u"福建", u"J_City_350100"},
    {u"龙岩", u"福建", u"J_City_350400"},
    {u"宁德", u"福建", u"J_City_350500"},
    {u"海南", u"海南", u"J_Province_460000"},
    {u"定安", u"海南", u"J_City_469025"},
    {u"屯昌", u"海南", u"J_City_469026"},
    {u"澄迈", u"海南", u"J_City_469027"},
    {u"临高", u"海南", u"J_City_469028"},
    {u"白沙", u"海南", u"J_City_469030"},
    {u"昌江", u"海南", u"J_City_469031"},
    {u"陵水", u"海南", u"J_City_469034"},
    {u"保亭", u"海南", u"J_City_469035"},
    {u"乐东", u"海南", u"J_City_469033"},
    {u"南沙", u"海南", u"J_City_469038"},
    {u"中沙", u"海南", u"J_City_469039"},
    {u"琼中", u"海南", u"J_City_469036"},
    {u"西沙", u"海南", u"J_City_469037"},
    {u"三沙", u"海南", u"J_City_460300"},
    {u"三亚", u"海南", u"J_City_460200"},
    {u"万宁", u"海南", u"J_City_469006"},
    {u"文昌", u"海南", u"J_City_469005"},
    {u"儋州", u"海南", u"J_City_469003"},
    {u"琼海", u"海南", u"J_City_469002"},
    {u"五指山", u"海南", u"J_City_469001"},
    {u"海口", u"海南", u"J_City_460100"},
    {u"东方", u"海南", u"J_City_469007"},
    {u"辽宁", u"辽宁", u"J_Province_210000"},
    {u"沈阳", u"辽宁", u"J_City_210300"},
    {u"大连", u"辽宁", u"J_City_210200"},
    {u"鞍山", u"辽宁", u"J_City_210100"},
    {u"抚顺", u"辽宁", u"J_City_210900"},
    {u"本溪", u"辽宁", u"J_City_210800"},
    {u"丹东", u"辽宁", u"J_City_210400"},
    {u"锦州", u"辽宁", u"J_City_210500"},
    {u"营口", u"辽宁", u"J_City_211300"},
    {u"阜新", u"辽宁", u"J_City_211000"},
    {u"辽阳", u"辽宁", u"J_City_211400"},
    {u"盘锦", u"辽宁", u"J_City_211200"},
    {u"铁岭", u"辽宁", u"J_City_211100"},
    {u"朝阳", u"辽宁", u"J_City_210700"},
    {u"葫芦岛", u"辽宁", u"J_City_210600"},
    {u"吉林", u"吉林", u"J_Province_220000"},
    {u"长春", u"吉林", u"J_City_222400"},
    {u"吉林", u"吉林", u"J_City_220200"},
    {u"四平", u"吉林", u"J_City_220300"},
    {u"辽源", u"吉林", u"J_City_220800"},
    {u"通化", u"吉林", u"J_City_220400"},
    {u"白山", u"吉林", u"J_City_220500"},
    {u"松原", u"吉林", u"J_City_220700"},
    {u"白城", u"吉林", u"J_City_220600"},
    {u"延边朝鲜族", u"吉林", u"J_City_220100"},
    {u"黑龙江", u"黑龙江", u"J_Province_230000"},
    {u"大兴安岭", u"黑龙江", u"J_City_232700"},
    {u"黑河", u"黑龙江", u"J_City_231100"},
    {u"大庆", u"黑龙江", u"J_City_230600"},
    {u"伊春", u"黑龙江", u"J_City_230700"},
    {u"绥化", u"黑龙江", u"J_City_231200"},
    {u"鸡西", u"黑龙江", u"J_City_230300"},
    {u"齐齐哈尔", u"黑龙江", u"J_City_230200"},
    {u"佳木斯", u"黑龙江", u"J_City_230800"},
    {u"牡丹江", u"黑龙江", u"J_City_231000"},
    {u"哈尔滨", u"黑龙江", u"J_City_230100"},
    {u"鹤岗", u"黑龙江", u"J_City_230400"},
    {u"双鸭山", u"黑龙江", u"J_City_230500"},
    {u"七台河", u"黑龙江", u"J_City_230900"},
    {u"陕西", u"陕西", u"J_Province_610000"},
    {u"西安", u"陕西", u"J_City_610800"},
    {u"铜川", u"陕西", u"J_City_610900"},
    {u"宝鸡", u"陕西", u"J_City_610700"},
    {u"咸阳", u"陕西", u"J_City_610600"},
    {u"渭南", u"陕西", u"J_City_611000"},
    {u"延安", u"陕西", u"J_City_610500"},
    {u"汉中", u"陕西", u"J_City_610400"},
    {u"榆林", u"陕西", u"J_City_610300"},
    {u"安康", u"陕西", u"J_City_610100"},
    {u"商洛", u"陕西", u"J_City_610200"},
    {u"新疆", u"新疆", u"J_Province_650000"},
    {u"乌鲁木齐", u"新疆", u"J_City_659001"},
    {u"克拉玛依", u"新疆", u"J_City_659004"},
    {u"吐鲁番", u"新疆", u"J_City_659003"},
    {u"哈密", u"新疆", u"J_City_659002"},
    {u"昌吉", u"新疆", u"J_City_652100"},
    {u"博尔塔拉", u"新疆", u"J_City_652200"},
    {u"巴音郭楞", u"新疆", u"J_City_652900"},
    {u"阿克苏", u"新疆", u"J_City_652300"},
    {u"克孜勒苏柯尔克孜", u"新疆", u"J_City_654000"},
    {u"喀什", u"新疆", u"J_City_652700"},
    {u"和田", u"新疆", u"J_City_653000"},
    {u"伊犁", u"新疆", u"J_City_653100"},
    {u"塔城", u"新疆", u"J_City_654200"},
    {u"阿勒泰", u"新疆", u"J_City_650200"},
    {u"石河子", u"新疆", u"J_City_654300"},
    {u"阿拉尔", u"新疆", u"J_City_653200"},
    {u"图木舒克", u"新疆", u"J_City_652800"},
    {u"五家渠", u"新疆", u"J_City_650100"},
    {u"甘肃", u"甘肃", u"J_Province_620000"},
    {u"兰州", u"甘肃", u"J_City_621000"},
    {u"嘉峪关", u"甘肃", u"J_City_621200"},
    {u"金昌", u"甘肃", u"J_City_620300"},
    {u"白银", u"甘肃", u"J_City_621100"},
    {u"天水", u"甘肃", u"J_City_623000"},
    {u"武威", u"甘肃", u"J_City_622900"},
    {u"张掖", u"甘肃", u"J_City_620200"},
    {u"平凉", u"甘肃", u"J_City_620100"},
    {u"酒泉", u"甘肃", u"J_City_620900"},
    {u"庆阳", u"甘肃", u"J_City_620800"},
    {u"定西", u"甘肃", u"J_City_620500"},
    {u"陇南", u"甘肃", u"J_City_620400"},
    {u"临夏", u"甘肃", u"J_City_620600"},
    {u"甘南", u"甘肃", u"J_City_620700"},
    {u"宁夏", u"宁夏", u"J_Province_640000"},
    {u"银川", u"宁夏", u"J_City_640400"},
    {u"石嘴山", u"宁夏", u"J_City_640500"},
    {u"吴忠", u"宁夏", u"J_City_640300"},
    {u"固原", u"宁夏", u"J_City_640200"},
    {u"中卫", u"宁夏", u"J_City_640100"},
    {u"青海", u"青海", u"J_Province_630000"},
    {u"黄南", u"青海", u"J_City_632300"},
    {u"西宁", u"青海", u"J_City_630100"},
    {u"海西", u"青海", u"J_City_632800"},
    {u"果洛", u"青海", u"J_City_632600"},
    {u"海东", u"青海", u"J_City_632100"},
    {u"海南藏族", u"青海", u"J_City_632500"},
    {u"玉树", u"青海", u"J_City_632700"},
    {u"海北", u"青海", u"J_City_632200"},
    {u"重庆", u"重庆", u"J_Province_500000"},
    {u"云南", u"云南", u"J_Province_530000"},
    {u"昆明", u"云南", u"J_City_530100"},
    {u"曲靖", u"云南", u"J_City_530900"},
    {u"玉溪", u"云南", u"J_City_533400"},
    {u"保山", u"云南", u"J_City_533300"},
    {u"昭通", u"云南", u"J_City_530800"},
    {u"丽江", u"云南", u"J_City_530300"},
    {u"普洱", u"云南", u"J_City_530700"},
    {u"临沧", u"云南", u"J_City_530500"},
    {u"楚雄", u"云南", u"J_City_530600"},
    {u"红河", u"云南", u"J_City_530400"},
    {u"文山", u"云南", u"J_City_532500"},
    {u"西双版纳", u"云南", u"J_City_533100"},
    {u"大理", u"云南", u"J_City_532600"},
    {u"德宏", u"云南", u"J_City_532300"},
    {u"怒江", u"云南", u"J_City_532900"},
    {u"迪庆", u"云南", u"J_City_532800"},
    {u"贵州", u"贵州", u"J_Province_520000"},
    {u"贵阳", u"贵州", u"J_City_520200"},
    {u"六盘水", u"贵州", u"J_City_520400"},
    {u"遵义", u"贵州", u"J_City_522200"},
    {u"安顺", u"贵州", u"J_City_520100"},
    {u"铜仁", u"贵州", u"J_City_520300"},
    {u"黔西南", u"贵州", u"J_City_522300"},
    {u"毕节", u"贵州", u"J_City_522700"},
    {u"黔东南", u"贵州", u"J_City_522600"},
    {u"黔南", u"贵州", u"J_City_522400"},
    {u"西藏", u"西藏", u"J_Province_540000"},
    {u"拉萨", u"西藏", u"J_City_540100"},
    {u"昌都", u"西藏", u"J_City_542200"},
    {u"山南", u"西藏", u"J_City_542100"},
    {u"日喀则", u"西藏", u"J_City_542300"},
    {u"那曲", u"西藏", u"J_City_542600"},
    {u"阿里", u"西藏", u"J_City_542400"},
    {u"林芝", u"西藏", u"J_City_542500"},
    {u"四川", u"四川", u"J_Province_510000"},
    {u"成都", u"四川", u"J_City_511800"},
    {u"自贡", u"四川", u"J_City_511700"},
    {u"攀枝花", u"四川", u"J_City_512000"},
    {u"泸州", u"四川", u"J_City_511500"},
    {u"德阳", u"四川", u"J_City_511600"},
    {u"绵阳", u"四川", u"J_City_511900"},
    {u"广元", u"四川", u"J_City_511100"},
    {u"遂宁", u"四川", u"J_City_511000"},
    {u"内江", u"四川", u"J_City_510100"},
    {u"乐山", u"四川", u"J_City_511400"},
    {u"南充", u"四川", u"J_City_513300"},
    {u"眉山", u"四川", u"J_City_511300"},
    {u"宜宾", u"四川", u"J_City_510800"},
    {u"广安", u"四川", u"J_City_510700"},
    {u"达州", u"四川", u"J_City_510300"},
    {u"雅安", u"四川", u"J_City_510900"},
    {u"巴中", u"四川", u"J_City_510500"},
    {u"资阳", u"四川", u"J_City_513200"},
    {u"阿坝", u"四川", u"J_City_513400"},
    {u"甘孜", u"四川", u"J_City_510600"},
    {u"凉山", u"四川", u"J_City_510400"},
    {u"香港", u"香港", u"J_Province_810000"},
    {u"香港岛", u"香港", u"J_City_810100"},
    {u"九龙", u"香港", u"J_City_810300"},
    {u"新界", u"香港", u"J_City_810200"},
    {u"澳门", u"澳门", u"J_Province_820000"},
    {u"澳门半岛", u"澳门", u"J_City_820100"},
    {u"离岛", u"澳门", u"J_City_820200"},
    {u"台湾", u"台湾", u"J_Province_710000"},
    {u"桃园", u"台湾", u"J_City_711400"},
    {u"宜兰", u"台湾", u"J_City_711200"},
    {u"新竹", u"台湾", u"J_City_711300"},
    {u"台南", u"台湾", u"J_City_710300"},
    {u"基隆", u"台湾", u"J_City_710700"},
    {u"屏东", u"台湾", u"J_City_712400"},
    {u"连江", u"台湾", u"J_City_712800"},
    {u"澎湖", u"台湾", u"J_City_712700"},
    {u"南投", u"台湾", u"J_City_710600"},
    {u"台中", u"台湾", u"J_City_710400"},
    {u"苗栗", u"台湾", u"J_City_711500"},
    {u"新北", u"台湾", u"J_City_711100"},
    {u"金门", u"台湾", u"J_City_710500"},
    {u"台东", u"台湾", u"J_City_712500"},
    {u"花莲", u"台湾", u"J_City_712600"},
    {u"嘉义", u"台湾", u"J_City_711900"},
    {u"彰化", u"台湾", u"J_City_711700"},
    {u"新竹", u"台湾", u"J_City_710800"},
    {u"高雄", u"台湾", u"J_City_710200"},
    {u"嘉义", u"台湾", u"J_City_710900"},
    {u"台北", u"台湾", u"J_City_710100"},
    {u"云林", u"台湾", u"J_City_712100"},
    {u"海外", u"海外", u"J_Province_990000"},
}};
// clang-format on

} // namespace

std::span<const RegionEntry> RegionTable::entries()
{
    return Regions;
}

bool isProvinceEntry(const RegionEntry &entry)
{
    return entry.elementId.startsWith(u"J_Province_") || entry.elementId.startsWith(u"J_Group_");
}

namespace {

// The entries by the first character of their names, and by province, each
// in table order: an address is read in one pass over its characters.
struct RegionIndex
{
    QHash<QChar, QList<const RegionEntry *>> byFirstChar;
    QHash<QStringView, QList<const RegionEntry *>> byProvince;

    RegionIndex()
    {
        for (const RegionEntry &entry : Regions) {
            if (!entry.name.isEmpty())
                byFirstChar[entry.name.front()].append(&entry);
            byProvince[entry.province].append(&entry);
        }
    }
};

const RegionIndex &regionIndex()
{
    static const RegionIndex index;
    return index;
}

} // namespace

std::optional<ResolvedAddress> ResolveAddress(QStringView text)
{
    if (text.size() > MaxPlaceTextLength)
        return std::nullopt;
    const RegionIndex &index = regionIndex();
    // The earliest position where a name occurs; there, the longest name,
    // a province entry before another of the same length, else the first in
    // the table.
    const RegionEntry *first = nullptr;
    for (qsizetype at = 0; at < text.size() && !first; ++at) {
        const auto candidates = index.byFirstChar.constFind(text.at(at));
        if (candidates == index.byFirstChar.cend())
            continue;
        const QStringView rest = text.sliced(at);
        for (const RegionEntry *entry : *candidates) {
            if (!rest.startsWith(entry->name))
                continue;
            const bool better = !first || entry->name.size() > first->name.size() ||
                                (entry->name.size() == first->name.size() && isProvinceEntry(*entry) &&
                                 !isProvinceEntry(*first));
            if (better)
                first = entry;
        }
    }
    if (!first)
        return std::nullopt;

    ResolvedAddress address;
    for (const RegionEntry *entry : index.byProvince.value(first->province)) {
        if (isProvinceEntry(*entry)) {
            address.province = entry;
        } else if (text.contains(entry->name) &&
                   (!address.city || entry->name.size() > address.city->name.size())) {
            address.city = entry;
        }
    }
    return address;
}

std::optional<RegionMatch> MatchRegion(QStringView text)
{
    if (text.isEmpty() || text.size() > MaxPlaceTextLength)
        return std::nullopt;
    // The last entry of the table whose name the text holds, found in one
    // pass over the text's characters (asked of every row of a sheet read).
    const RegionIndex &index = regionIndex();
    qsizetype last = -1;
    for (qsizetype at = 0; at < text.size(); ++at) {
        const auto candidates = index.byFirstChar.constFind(text.at(at));
        if (candidates == index.byFirstChar.cend())
            continue;
        const QStringView rest = text.sliced(at);
        // Later entries first: the first that fits is the last found here.
        for (auto entry = candidates->crbegin(); entry != candidates->crend(); ++entry) {
            const qsizetype row = *entry - Regions.data();
            if (row <= last)
                break;
            if (rest.startsWith((*entry)->name)) {
                last = row;
                break;
            }
        }
    }
    if (last < 0)
        return std::nullopt;
    return RegionMatch{&Regions[size_t(last)], int(last) + 1};
}

} // namespace Kuaidi
