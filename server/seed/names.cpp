#include "server/seed/names.h"

namespace lumeko::server::seed {

namespace {

struct WeightedSurname {
    const char *text;
    const char *pinyin;
    int weight;
};

// Common surnames with rough weights for a school in Guangdong.
const WeightedSurname kSurnames[] = {
    {"陈", "chen", 90}, {"李", "li", 80}, {"黄", "huang", 70}, {"张", "zhang", 70}, {"林", "lin", 55},
    {"刘", "liu", 60}, {"王", "wang", 60}, {"吴", "wu", 40}, {"杨", "yang", 40}, {"梁", "liang", 35},
    {"郑", "zheng", 30}, {"谢", "xie", 28}, {"罗", "luo", 28}, {"何", "he", 26}, {"曾", "zeng", 25},
    {"周", "zhou", 25}, {"赖", "lai", 18}, {"邓", "deng", 20}, {"许", "xu", 18}, {"钟", "zhong", 18},
    {"冯", "feng", 15}, {"蔡", "cai", 15}, {"叶", "ye", 16}, {"彭", "peng", 14}, {"卢", "lu", 12},
    {"苏", "su", 12}, {"潘", "pan", 12}, {"赵", "zhao", 14}, {"徐", "xu", 14}, {"孙", "sun", 12},
    {"朱", "zhu", 12}, {"胡", "hu", 12}, {"郭", "guo", 12}, {"高", "gao", 10}, {"马", "ma", 10},
    {"唐", "tang", 10}, {"宋", "song", 8}, {"韩", "han", 7}, {"曹", "cao", 7}, {"肖", "xiao", 10},
    {"田", "tian", 6}, {"董", "dong", 6}, {"袁", "yuan", 7}, {"于", "yu", 5}, {"蒋", "jiang", 6},
    {"余", "yu", 8}, {"杜", "du", 6}, {"程", "cheng", 6}, {"魏", "wei", 5}, {"吕", "lv", 5},
    {"丁", "ding", 5}, {"任", "ren", 4}, {"沈", "shen", 5}, {"姚", "yao", 5}, {"姜", "jiang", 4},
    {"崔", "cui", 3}, {"谭", "tan", 8}, {"陆", "lu", 4}, {"汪", "wang", 4}, {"范", "fan", 5},
    {"金", "jin", 3}, {"石", "shi", 4}, {"廖", "liao", 9}, {"贾", "jia", 3}, {"夏", "xia", 4},
    {"韦", "wei", 6}, {"方", "fang", 5}, {"邹", "zou", 6}, {"熊", "xiong", 4}, {"秦", "qin", 3},
    {"邱", "qiu", 7}, {"江", "jiang", 6}, {"温", "wen", 7}, {"严", "yan", 3}, {"龙", "long", 3},
    {"侯", "hou", 3}, {"黎", "li", 6}, {"贺", "he", 3}, {"顾", "gu", 3}, {"毛", "mao", 3},
    {"龚", "gong", 3}, {"邵", "shao", 3}, {"万", "wan", 3}, {"钱", "qian", 3}, {"戴", "dai", 3},
    {"莫", "mo", 5}, {"孔", "kong", 2}, {"向", "xiang", 2}, {"汤", "tang", 3}, {"欧阳", "ouyang", 3},
    {"司徒", "situ", 1}, {"古", "gu", 3}, {"官", "guan", 1}, {"巫", "wu", 2}, {"植", "zhi", 1},
};

struct Char {
    const char *text;
    const char *pinyin;
};

const Char kMaleChars[] = {
    {"伟", "wei"}, {"强", "qiang"}, {"磊", "lei"}, {"军", "jun"}, {"勇", "yong"}, {"杰", "jie"},
    {"涛", "tao"}, {"斌", "bin"}, {"超", "chao"}, {"明", "ming"}, {"刚", "gang"}, {"辉", "hui"},
    {"鹏", "peng"}, {"华", "hua"}, {"飞", "fei"}, {"鑫", "xin"}, {"波", "bo"}, {"宇", "yu"},
    {"浩", "hao"}, {"凯", "kai"}, {"健", "jian"}, {"俊", "jun"}, {"帆", "fan"}, {"旭", "xu"},
    {"宁", "ning"}, {"龙", "long"}, {"阳", "yang"}, {"博", "bo"}, {"轩", "xuan"}, {"睿", "rui"},
    {"泽", "ze"}, {"晨", "chen"}, {"航", "hang"}, {"昊", "hao"}, {"皓", "hao"}, {"铭", "ming"},
    {"哲", "zhe"}, {"瑞", "rui"}, {"锦", "jin"}, {"恒", "heng"}, {"毅", "yi"}, {"诚", "cheng"},
    {"峰", "feng"}, {"志", "zhi"}, {"建", "jian"}, {"成", "cheng"}, {"海", "hai"}, {"东", "dong"},
    {"亮", "liang"}, {"振", "zhen"}, {"天", "tian"}, {"远", "yuan"}, {"翔", "xiang"}, {"骏", "jun"},
    {"晟", "sheng"}, {"煜", "yu"}, {"彬", "bin"}, {"铮", "zheng"}, {"钧", "jun"}, {"栋", "dong"},
    {"坤", "kun"}, {"霖", "lin"}, {"弘", "hong"}, {"朗", "lang"}, {"瀚", "han"}, {"承", "cheng"},
};

const Char kFemaleChars[] = {
    {"芳", "fang"}, {"娜", "na"}, {"敏", "min"}, {"静", "jing"}, {"丽", "li"}, {"艳", "yan"},
    {"娟", "juan"}, {"霞", "xia"}, {"秀", "xiu"}, {"玲", "ling"}, {"婷", "ting"}, {"雪", "xue"},
    {"慧", "hui"}, {"颖", "ying"}, {"琳", "lin"}, {"倩", "qian"}, {"洁", "jie"}, {"欣", "xin"},
    {"怡", "yi"}, {"佳", "jia"}, {"悦", "yue"}, {"萱", "xuan"}, {"涵", "han"}, {"琪", "qi"},
    {"瑶", "yao"}, {"诗", "shi"}, {"梦", "meng"}, {"蕾", "lei"}, {"薇", "wei"}, {"晴", "qing"},
    {"妍", "yan"}, {"馨", "xin"}, {"璐", "lu"}, {"彤", "tong"}, {"菲", "fei"}, {"婧", "jing"},
    {"丹", "dan"}, {"莹", "ying"}, {"燕", "yan"}, {"红", "hong"}, {"梅", "mei"}, {"兰", "lan"},
    {"佩", "pei"}, {"茜", "qian"}, {"蓉", "rong"}, {"韵", "yun"}, {"琦", "qi"}, {"岚", "lan"},
    {"媛", "yuan"}, {"露", "lu"}, {"青", "qing"}, {"卉", "hui"}, {"珊", "shan"}, {"嫣", "yan"},
};

// Characters that suit either sex, usually as the first of two given-name characters.
const Char kNeutralChars[] = {
    {"子", "zi"}, {"梓", "zi"}, {"思", "si"}, {"雨", "yu"}, {"嘉", "jia"}, {"晓", "xiao"},
    {"可", "ke"}, {"心", "xin"}, {"语", "yu"}, {"若", "ruo"}, {"一", "yi"}, {"文", "wen"},
    {"家", "jia"}, {"俊", "jun"}, {"欣", "xin"}, {"宇", "yu"}, {"雅", "ya"}, {"安", "an"},
    {"乐", "le"}, {"依", "yi"}, {"沐", "mu"}, {"景", "jing"}, {"奕", "yi"}, {"书", "shu"},
    {"明", "ming"}, {"晨", "chen"}, {"少", "shao"}, {"永", "yong"}, {"志", "zhi"}, {"秋", "qiu"},
};

const char *const kPlaceWords[] = {
    "鹭湾", "云岚", "松涛", "青禾", "明澜", "枫林", "星河", "海棠", "清泉", "银湖", "翠岭", "桂溪",
    "荷塘", "竹影", "望月", "晴川", "碧波", "南屏", "紫荆", "金沙", "丹霞", "凤栖", "梧桐", "朝阳",
};

template <std::size_t N> const Char &pickChar(Random &rng, const Char (&list)[N]) { return list[rng.below(int(N))]; }

} // namespace

Surname randomSurname(Random &rng)
{
    static const QList<int> weights = [] {
        QList<int> w;
        for (const WeightedSurname &s : kSurnames) w << s.weight;
        return w;
    }();
    const WeightedSurname &s = kSurnames[rng.weighted(weights)];
    return {QString::fromUtf8(s.text), QString::fromLatin1(s.pinyin)};
}

PersonName randomName(Random &rng, bool male, const Surname *surname)
{
    PersonName n;
    n.surname = surname ? *surname : randomSurname(rng);
    auto own = [&]() -> const Char * { return male ? &pickChar(rng, kMaleChars) : &pickChar(rng, kFemaleChars); };
    // About one name in four has a single given-name character.
    QList<const Char *> given;
    if (rng.chance(0.25)) {
        given << own();
    } else {
        given << (rng.chance(0.5) ? &pickChar(rng, kNeutralChars) : own());
        const Char *second;
        do second = own(); while (qstrcmp(second->text, given.first()->text) == 0);
        given << second;
    }
    n.text = n.surname.text;
    for (const Char *c : given) {
        n.text += QString::fromUtf8(c->text);
        n.initials += QLatin1Char(c->pinyin[0]);
    }
    return n;
}

QString randomPlaceWord(Random &rng) { return QString::fromUtf8(rng.pick(kPlaceWords)); }

} // namespace lumeko::server::seed
