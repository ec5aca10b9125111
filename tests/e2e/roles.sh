# Who sees and changes a funnel: Editors, Authors and Contributors against the Administrator's
# funnels, in wp-admin, over XML-RPC and REST; what an Author's tag keeps; what public listings
# show; an update from a plugin made with an older template; and what deleting a plugin leaves in
# the database. Sourced by run_e2e.sh, which provides fetch, verdict, login, save_funnel,
# build_plugin, install_plugin, create_funnel, delete_in_admin, row_link, the P_* tables, wp_php,
# wp_sql and the WordPress addresses.

# The template as it was before funnels had their own capabilities and protected meta: the
# upgrade check installs a plugin made from it and updates it in place.
UNPROTECTED_TEMPLATE_COMMIT=bb40625

# funnel_key POST ID: the funnel's key as the database holds it (protected meta).
funnel_key() { wp_sql "SELECT meta_value FROM wp_postmeta WHERE post_id = $1 AND meta_key = '_${2}_download_key'"; }
funnel_tag() { wp_sql "SELECT meta_value FROM wp_postmeta WHERE post_id = $1 AND meta_key = '_${2}_front_tag'"; }

# holds_key FILE... KEY: whether any of the files holds the key (an empty key counts as held).
holds_key() {
    local key=${!#} file
    for file in "${@:1:$#-1}"; do grep -qF "$key" "$file" 2> /dev/null && return 0; done
    return 1
}

# xmlrpc OUT USER PASSWORD METHOD PARAMS_XML: a call to xmlrpc.php; prints the status.
xmlrpc() {
    local body="<?xml version=\"1.0\"?><methodCall><methodName>$4</methodName><params><param><value><int>1</int></value></param><param><value><string>$2</string></value></param><param><value><string>$3</string></value></param>$5</params></methodCall>"
    fetch "$1" "$A/xmlrpc.php" -H 'Content-Type: text/xml' --data-binary "$body"
}
xml_member() { echo "<member><name>$1</name><value><string>$2</string></value></member>"; }

# check_roles: the table of who may do what with the example's funnels.
check_roles() {
    local id=${P_ID[example]} type=${P_ID[example],,} post=${P_POST[example]} key login role jar page leaks="" status
    local -A jars
    key=$(funnel_key "$post" "$id")
    for role in editor author contributor; do
        wp_php add-user "plain-$role" "$role-e2e-pass" "$role" > /dev/null
        jars[$role]=$RUN/$role.cookies
        login "${jars[$role]}" "plain-$role" "$role-e2e-pass"
    done
    for role in editor author contributor; do
        jar=${jars[$role]} status=""
        for page in "edit.php?post_type=$type" "edit.php?post_type=$type&all_posts=1" "post.php?post=$post&action=edit" \
            "post-new.php?post_type=$type" "edit.php?post_type=$type&page=${id}_access" \
            "edit.php?post_type=$type&page=${id}-buyers&funnel=$post"; do
            code=$(fetch "$RUN/pages/role-$role.html" "$A/wp-admin/$page" -b "$jar")
            [ "$code" = 200 ] && status="$status $page->200"
            holds_key "$RUN/pages/role-$role.html" "$key" && leaks="$leaks $role:$page"
        done
        fetch "$RUN/pages/role-$role-dash.html" "$A/wp-admin/" -b "$jar" > /dev/null
        [ -z "$status" ] && [ "$(php "$INSPECT" count "$RUN/pages/role-$role-dash.html" "//li[@id='menu-posts-$type'] | //div[@id='$id-welcome']")" = 0 ] &&
            ! holds_key "$RUN/pages/role-$role-dash.html" "$key"
        verdict "example: a user with the $role role sees no funnel list, edit screen, new funnel, settings, buyers, menu or first steps" $? "answered 200:$status"
    done
    [ -z "$leaks" ] && [ -n "$key" ]
    verdict "example: no page an Editor, Author or Contributor opens holds the funnel's key" $? "${leaks:-no key in the database}"

    # The owner lets Editors manage funnels on the plugin's own screen, and takes it back.
    local access="$A/wp-admin/edit.php?post_type=$type&page=${id}_access" form on off
    mapfile -t form < <(fetch "$RUN/pages/access.html" "$access" -b "$JAR" > /dev/null
        php "$INSPECT" form "$RUN/pages/access.html" "$access" "//form[.//input[@name='${id}_editors']]" "${id}_editors=yes")
    fetch "$RUN/pages/access-saved.html" "${form[0]:-$A/wp-admin/admin-post.php}" -b "$JAR" --data-binary "${form[1]:-}" > /dev/null
    fetch "$RUN/pages/editor-list.html" "$A/wp-admin/edit.php?post_type=$type" -b "${jars[editor]}" > /dev/null
    fetch "$RUN/pages/editor-dash.html" "$A/wp-admin/" -b "${jars[editor]}" > /dev/null
    holds_key "$RUN/pages/editor-list.html" "$key" && [ -n "$(welcome_text "$RUN/pages/editor-dash.html" "$id")" ]
    on=$?
    mapfile -t form < <(fetch "$RUN/pages/access.html" "$access" -b "$JAR" > /dev/null
        php "$INSPECT" form "$RUN/pages/access.html" "$access" "//form[.//input[@name='${id}_editors']]" "${id}_editors=no")
    fetch "$RUN/pages/access-saved.html" "${form[0]:-$A/wp-admin/admin-post.php}" -b "$JAR" --data-binary "${form[1]:-}" > /dev/null
    off=$(fetch "$RUN/pages/editor-list.html" "$A/wp-admin/edit.php?post_type=$type" -b "${jars[editor]}")
    [ "$on" = 0 ] && [ "$off" = 403 ] && ! holds_key "$RUN/pages/editor-list.html" "$key"
    verdict "example: ticked on the Access screen, Editors manage funnels (and get their own first steps); unticked, not" $? \
        "ticked: list with key and notice $on; unticked: list $off"

    # A menu entry tells two plugins of the same name apart.
    local hover
    hover=$(php "$INSPECT" value "$RUN/pages/dashboard.html" "//li[@id='menu-posts-$type']//div[@class='wp-menu-name']/span/@title")
    [[ "$hover" == *"${P_NAME[example]}"*"$id"* ]]
    verdict "example: the menu entry's hover text names the plugin's folder" $? "'$hover'"

    check_author_form
    check_refused_save
    check_remote_writes "$key"
}

# check_author_form: an Author given the funnel capabilities (as a role editor would) but not
# unfiltered_html keeps a PayPal button's form and fields; its script and handler go, and the
# screen says so.
check_author_form() {
    local id=${P_ID[example]} type=${P_ID[example],,} jar=$RUN/author2.cookies caps location post notice url front
    caps="edit_${type}_funnels publish_${type}_funnels edit_published_${type}_funnels"
    # shellcheck disable=SC2086 # one capability a word
    wp_php add-user funnel-author author-e2e-pass author $caps > /dev/null && login "$jar" funnel-author author-e2e-pass
    local paypal='<form action="https://www.paypal.com/cgi-bin/webscr" method="post" target="_top"><input type="hidden" name="cmd" value="_xclick"><input type="hidden" name="business" value="shop@example.invalid"><input type="hidden" name="amount" value="9.90"><input type="hidden" name="return" value="[download_url]"><script>document.title="pwned"</script><input type="image" src="https://www.paypalobjects.com/en_US/i/btn/btn_buynow_LG.gif" border="0" name="submit" alt="Buy now" onclick="steal()"></form>'
    location=$(save_funnel example "$jar" "$A/wp-admin/post-new.php?post_type=$type" "post_title=Author funnel" \
        "${id}_front_tag=$paypal" "${id}_back_tag=<p>ok</p>" "${id}_mode=free" "publish=Publish")
    post=$(sed -n 's/.*[?&]post=\([0-9]*\).*/\1/p' <<< "$location")
    fetch "$RUN/pages/author-edit.html" "$(in_admin "$location")" -b "$jar" > /dev/null
    notice=$(php "$INSPECT" value "$RUN/pages/author-edit.html" "//div[@id='$id-removed']" | tr -s ' \n\t' ' ')
    url=$(php "$INSPECT" value "$RUN/pages/author-edit.html" "//span[@id='sample-permalink']/a/@href")
    front=$RUN/pages/author-front.html
    fetch "$front" "${url:-$B/no-author-funnel}" > /dev/null
    [ -n "$post" ] && [[ "$notice" == *"<script>"* ]] && [[ "$notice" == *"onclick on <input>"* ]] && [[ "$notice" != *"<form>"* ]] &&
        [ "$(php "$INSPECT" count "$front" "//form[@action='https://www.paypal.com/cgi-bin/webscr' and @method='post']/input")" = 5 ] &&
        [ "$(php "$INSPECT" value "$front" "//form//input[@name='return']/@value")" = "$(wp_php home-keyed "$id" "$post" 2> /dev/null)" ] &&
        [ "$(php "$INSPECT" count "$front" "//script[contains(., 'pwned')] | //form//@onclick")" = 0 ]
    verdict "example: an Author's PayPal form keeps its form and fields, loses its script and handler, and the screen names what went" $? \
        "post '$post', notice '$notice', page '$url'"
}

# check_refused_save: a Contributor allowed to draft funnels posts their own form, nonces and
# all, at the Administrator's funnel: nothing changes, no new key is made.
check_refused_save() {
    local id=${P_ID[example]} type=${P_ID[example],,} post=${P_POST[example]} jar=$RUN/contrib2.cookies key tag form page="$RUN/pages/contrib-new.html"
    wp_php add-user funnel-contrib contrib-e2e-pass contributor "edit_${type}_funnels" > /dev/null && login "$jar" funnel-contrib contrib-e2e-pass
    key=$(funnel_key "$post" "$id") tag=$(funnel_tag "$post" "$id")
    fetch "$page" "$A/wp-admin/post-new.php?post_type=$type" -b "$jar" > /dev/null
    mapfile -t form < <(php "$INSPECT" form "$page" "$A/wp-admin/post-new.php" "//form[@id='post']" "post_ID=$post" \
        "${id}_front_tag=<p>taken over</p>" "${id}_new_key=1" "save=Save Draft")
    fetch "$RUN/pages/contrib-saved.html" "${form[0]:-$A/wp-admin/post.php}" -b "$jar" --data-binary "${form[1]:-}" > /dev/null
    fetch "$RUN/pages/contrib-list.html" "$A/wp-admin/edit.php?post_type=$type&all_posts=1" -b "$jar" > /dev/null
    [ "${#form[@]}" = 2 ] && [ "$(funnel_key "$post" "$id")" = "$key" ] && [ "$(funnel_tag "$post" "$id")" = "$tag" ] &&
        ! holds_key "$RUN/pages/contrib-list.html" "$key"
    verdict "example: a Contributor's own nonces change nothing of the Administrator's funnel, and their list shows no key of it" $?
}

# check_remote_writes KEY: XML-RPC and REST neither read the key nor write the tags.
check_remote_writes() {
    local key=$1 id=${P_ID[example]} type=${P_ID[example],,} post=${P_POST[example]} tag fields before leaks="" out=$RUN/pages/remote
    tag=$(funnel_tag "$post" "$id")
    fields="<member><name>custom_fields</name><value><array><data>"
    for name in "_${id}_front_tag" "${id}_front_tag" "_${id}_download_key" "_${id}_trusted_tags"; do
        fields="$fields<value><struct>$(xml_member key "$name")$(xml_member value "xmlrpc-planted")</struct></value>"
    done
    fields="$fields</data></array></value></member>"
    before=$(wp_sql "SELECT COUNT(*) FROM wp_posts")
    xmlrpc "$out-1" admin admin-e2e-pass wp.getPost "<param><value><int>$post</int></value></param>" > /dev/null
    xmlrpc "$out-2" admin admin-e2e-pass wp.editPost "<param><value><int>$post</int></value></param><param><value><struct>$fields</struct></value></param>" > /dev/null
    xmlrpc "$out-3" funnel-author author-e2e-pass wp.newPost "<param><value><struct>$(xml_member post_type "$type")$(xml_member post_title XML-RPC)$(xml_member post_status publish)$fields</struct></value></param>" > /dev/null
    xmlrpc "$out-4" funnel-author author-e2e-pass wp.getPosts "<param><value><struct>$(xml_member post_type "$type")</struct></value></param>" > /dev/null
    xmlrpc "$out-5" plain-editor editor-e2e-pass wp.getPost "<param><value><int>$post</int></value></param>" > /dev/null
    grep -q '<name>post_title</name>' "$out-1" || leaks="$leaks no-answer-to-getPost"
    for route in "wp/v2/$type" "wp/v2/$type/$post" "wp/v2/posts/$post" "wp/v2/search&search=Balcony" "wp/v2/types"; do
        fetch "$out-rest-${route//\//-}" "$B/?rest_route=/$route" -b "$JAR" > /dev/null
    done
    for file in "$out"-*; do
        [[ "$file" == *.headers ]] && continue
        holds_key "$file" "$key" && leaks="$leaks $(basename "$file")"
        grep -q "$A/?post_type=$type\|\"$type\"" "$file" 2> /dev/null && [[ "$file" == *rest* ]] && leaks="$leaks $(basename "$file")(type)"
    done
    [ -z "$leaks" ] && [ "$(funnel_key "$post" "$id")" = "$key" ] && [ "$(funnel_tag "$post" "$id")" = "$tag" ] &&
        [ "$(wp_sql "SELECT COUNT(*) FROM wp_postmeta WHERE meta_value = 'xmlrpc-planted'")" = 0 ]
    verdict "example: XML-RPC (getPost, editPost, newPost, getPosts) and REST store no funnel field and answer no key" $? \
        "leaks:$leaks; posts before $before, after $(wp_sql "SELECT COUNT(*) FROM wp_posts")"
}

# check_public_listings: search (by type too), feeds, sitemaps, oEmbed and the embed view list no
# funnel; the download page is private to caches.
check_public_listings() {
    local id=${P_ID[example]} type=${P_ID[example],,} post=${P_POST[example]} permalink=${P_PERMALINK[example]} listed="" url code
    local title=${P_TITLE[example]// /+}
    for url in "$B/?s=$title" "$B/?s=$title&post_type=$type" "$B/?post_type=$type" "$B/?feed=rss2" "$B/?feed=rss2&post_type=$type" \
        "$B/?s=$title&feed=rss2&post_type=$type" "$B/wp-sitemap.xml" "$B/wp-sitemap-posts-$type-1.xml" \
        "$B/wp-json/oembed/1.0/embed?url=$(php -r 'echo rawurlencode($argv[1]);' "$permalink")" "${permalink%/}/embed/"; do
        code=$(fetch "$RUN/pages/listing" "$url")
        if grep -qF -e "$permalink" -e "p=$post&" -e "p=$post&#038;" -e "posts-$type" "$RUN/pages/listing" ||
            { [[ "$url" == *oembed* || "$url" == */embed/ || "$url" == *posts-$type* ]] && [ "$code" != 404 ]; }; then
            listed="$listed $url($code)"
        fi
    done
    [ -z "$listed" ]
    verdict "example: search, feeds, the sitemaps, oEmbed and the embed view list no funnel" $? "$listed"
    fetch "$RUN/pages/private.html" "$(wp_php home-keyed "$id" "$post")" > /dev/null
    [ "$(header_of "$RUN/pages/private.html" cache-control)" = "private, no-store" ]
    verdict "example: the keyed download page is sent Cache-Control: private, no-store" $? "'$(header_of "$RUN/pages/private.html" cache-control)'"
}

# rows_of ID [OTHER_ID]: how many rows carry the plugin's identifier, by table, leaving out those
# of another plugin whose identifier begins with it: "posts postmeta options usermeta custom".
rows_of() {
    local id=$1 type=${1,,} not='^$' custom=0 table
    [ -n "${2:-}" ] && not="(^|_)${2}_"
    local mine="(^|_|-)${id}(_|\$|columns)" caps="%${type}\\_funnel%"
    local posts postmeta options usermeta
    posts=$(wp_sql "SELECT COUNT(*) FROM wp_posts WHERE BINARY post_type = '$type'")
    postmeta=$(wp_sql "SELECT COUNT(*) FROM wp_postmeta WHERE post_id IN (SELECT ID FROM wp_posts WHERE BINARY post_type = '$type')
        OR (BINARY meta_key REGEXP '$mine' AND NOT BINARY meta_key REGEXP '$not')")
    options=$(wp_sql "SELECT COUNT(*) FROM wp_options WHERE (BINARY option_name REGEXP '$mine' AND NOT BINARY option_name REGEXP '$not')
        OR (option_name = 'wp_user_roles' AND option_value LIKE '$caps')")
    usermeta=$(wp_sql "SELECT COUNT(*) FROM wp_usermeta WHERE (BINARY meta_key REGEXP '$mine' AND NOT BINARY meta_key REGEXP '$not')
        OR (meta_key = 'wp_capabilities' AND meta_value LIKE '$caps')")
    for table in $(wp_sql "SHOW TABLES LIKE 'wp\\_${id}\\_%'"); do
        [ -n "${2:-}" ] && [[ "$table" == wp_${2}_* ]] && continue
        custom=$((custom + 1 + $(wp_sql "SELECT COUNT(*) FROM $table")))
    done
    echo "$posts $postmeta $options $usermeta $custom"
}

# check_upgrade_and_uninstall: a plugin made from the older template, with a funnel, its payment
# settings and a buyer, is updated in place by uploading the new build: nothing is lost. Then it is
# deleted beside a plugin whose identifier begins with its own: not one row of it is left, and the
# other keeps all of its rows.
check_upgrade_and_uninstall() {
    local key field old new sibling_before sibling_after before after settings_before settings_after edit result link code said
    # A clone without that history (a shallow one) updates from the current template instead.
    local have_old=1
    git -C "$SOURCE_DIR" cat-file -e "$UNPROTECTED_TEMPLATE_COMMIT^{commit}" 2> /dev/null || have_old=0
    if [ "$have_old" = 1 ]; then
        git -C "$SOURCE_DIR" archive "$UNPROTECTED_TEMPLATE_COMMIT" resources/plugintemplate 2> "$RUN/log/git-archive.log" |
            tar -x -C "$RUN" --transform 's,^resources/plugintemplate,old-template,'
    else
        echo "# commit $UNPROTECTED_TEMPLATE_COMMIT is not in this clone's history: the update starts from the current template"
    fi
    for key in legacy updated sibling; do
        for field in P_SITE P_FRONT P_DOWNLOAD P_NAME P_VERSION P_URI P_LICENSE P_TITLE P_FRONT_TAG P_BACK_TAG; do
            declare -n table=$field
            table[$key]=${table[single]}
            unset -n table
        done
        printf '%s' "${P_FRONT_TAG[$key]}" > "$RUN/tags/$key.front"
        printf '%s' "${P_BACK_TAG[$key]}" > "$RUN/tags/$key.back"
    done
    P_ID[legacy]=lg5 P_ID[updated]=lg5 P_ID[sibling]=lg5_b
    [ "$have_old" = 1 ] && P_TEMPLATE[legacy]=$RUN/old-template
    # Titles of their own: a funnel slug shared with "single" would send its address on to these.
    P_TITLE[legacy]="Handout kept over an update" P_TITLE[sibling]="Handout of the sibling"
    # The same name as "single": the menus tell them apart by their folders.
    if [ "$have_old" = 1 ]; then
        [ -f "$RUN/old-template/plugin.php" ] && [ ! -f "$RUN/old-template/modules/access.php" ]
        verdict "the template from before protected meta unpacks from commit $UNPROTECTED_TEMPLATE_COMMIT" $? "$(head -c 200 "$RUN/log/git-archive.log")"
    fi
    for key in legacy updated sibling; do build_plugin "$key"; done
    install_plugin legacy
    create_funnel legacy
    old=${P_DOWNLOAD_URL[legacy]}
    settings_before=$(wp_php funnel-settings lg5 "${P_POST[legacy]}" '{"price":"4.50","paypal_email":"shop@example.invalid"}')
    wp_php add-buyer lg5 "${P_POST[legacy]}" kept@example.invalid > /dev/null
    if [ "$have_old" = 1 ]; then
        [ "$(wp_sql "SELECT COUNT(*) FROM wp_postmeta WHERE post_id = ${P_POST[legacy]} AND meta_key IN ('lg5_front_tag', 'lg5_download_key', 'lg5_settings')")" = 3 ]
        verdict "legacy: the older plugin keeps its funnel's fields under their old names" $?
    fi

    # Uploaded again, WordPress offers to replace the installed plugin; the owner accepts.
    update_plugin updated && [ -f "$PLUGINS_DIR/lg5/modules/access.php" ]
    verdict "legacy: uploading the new build replaces the installed plugin" $?

    edit=$RUN/pages/updated-edit.html
    fetch "$edit" "$A/wp-admin/post.php?post=${P_POST[legacy]}&action=edit" -b "$JAR" > /dev/null
    new=$(php "$INSPECT" value "$edit" "//input[@id='lg5_download_url']/@value")
    code=$(fetch "$RUN/pages/updated-download.html" "$old")
    settings_after=$(wp_php funnel-settings lg5 "${P_POST[legacy]}" '{}')
    [ -n "$new" ] && [ "$new" = "$old" ] && [ "$code" = 200 ] && grep -qF "${P_BACK_TAG[legacy]}" "$RUN/pages/updated-download.html" &&
        [ "$(php "$INSPECT" value "$edit" "//textarea[@id='lg5_front_tag']")" = "${P_FRONT_TAG[legacy]}" ] &&
        [ "$(php "$INSPECT" value "$edit" "//textarea[@id='lg5_back_tag']")" = "${P_BACK_TAG[legacy]}" ] &&
        [ -n "$settings_before" ] && [ "$settings_after" = "$settings_before" ] &&
        [ "$(wp_sql "SELECT COUNT(*) FROM wp_postmeta WHERE post_id = ${P_POST[legacy]} AND meta_key IN ('lg5_front_tag', 'lg5_download_key', 'lg5_settings')")" = 0 ]
    verdict "legacy: after the update the funnel keeps its tags, its key (the old address opens the download page) and its settings, in protected meta" $? \
        "address '$old' -> '$new' ($code), settings '$settings_before' -> '$settings_after'"

    install_plugin sibling
    create_funnel sibling
    wp_php add-buyer lg5_b "${P_POST[sibling]}" other@example.invalid > /dev/null
    # Capabilities given to single users, as a role editor gives them.
    wp_php add-user lg5-helper helper-e2e-pass subscriber edit_lg5_funnels > /dev/null
    wp_php add-user lg5b-helper helper-e2e-pass subscriber edit_lg5_b_funnels > /dev/null
    # The Administrator's own notes: the first steps of lg5 dismissed, by its link.
    fetch "$RUN/pages/lg5-dash.html" "$A/wp-admin/" -b "$JAR" > /dev/null
    fetch "$RUN/pages/lg5-dismissed.html" "$(in_admin "$(php "$INSPECT" value "$RUN/pages/lg5-dash.html" "//div[@id='lg5-welcome']//a[text()='Dismiss']/@href")")" -b "$JAR" > /dev/null
    fetch "$RUN/pages/lg5-plugins.html" "$A/wp-admin/plugins.php" -b "$JAR" > /dev/null
    fetch "$RUN/pages/lg5-list.html" "$A/wp-admin/edit.php?post_type=lg5_b" -b "$JAR" > /dev/null
    fetch "$RUN/pages/lg5-dash.html" "$A/wp-admin/" -b "$JAR" > /dev/null
    [ -z "$(welcome_text "$RUN/pages/lg5-dash.html" lg5)" ] && [ -n "$(welcome_text "$RUN/pages/lg5-dash.html" lg5_b)" ] &&
        [ -n "$(welcome_text "$RUN/pages/lg5-list.html" lg5_b)" ] && [ -z "$(welcome_text "$RUN/pages/lg5-plugins.html" lg5_b)" ]
    verdict "sibling: the first steps show on the dashboard and the plugin's own screens, not on other screens; dismissing one plugin's leaves the other's" $?

    before=$(rows_of lg5 lg5_b) sibling_before=$(rows_of lg5_b)
    fetch "$RUN/pages/lg5-off.html" "$(row_link lg5/plugin.php deactivate)" -b "$JAR" > /dev/null
    after=$(rows_of lg5 lg5_b)
    fetch "$RUN/pages/confirm.html" "$(row_link lg5/plugin.php delete)" -b "$JAR" > /dev/null
    said=$(php "$INSPECT" value "$RUN/pages/confirm.html" "//div[@class='wrap']" | tr -s ' \n\t' ' ')
    [ "$after" = "$before" ] && [[ "$said" == *"delete its data"* ]]
    verdict "legacy: switching the plugin off keeps every row, and WordPress's question before deleting says its data goes too" $? \
        "rows before '$before', switched off '$after'; asked '$(cut -c1-160 <<< "$said")'"
    code=$(delete_in_admin lg5/plugin.php)
    after=$(rows_of lg5 lg5_b) sibling_after=$(rows_of lg5_b)
    [ "$code" = 302 ] && [[ ! "$before" =~ (^| )0( |$) ]] && [ "$after" = "0 0 0 0 0" ] && [ "$sibling_after" = "$sibling_before" ] &&
        [[ ! "$sibling_before" =~ (^| )0( |$) ]]
    verdict "legacy: deleted in wp-admin, it leaves no row (posts postmeta options usermeta tables: '$before' -> '$after'); lg5_b keeps all of its rows" $? \
        "$code, lg5_b '$sibling_before' -> '$sibling_after'"
}
