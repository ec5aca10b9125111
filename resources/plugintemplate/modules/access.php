<?php
/**
 * Who may see and change funnels: the post type's own capabilities and who holds them, the
 * protected meta, the allowed markup of tags, funnels kept out of public listings, the
 * upgrade steps run once per data version, and the notice and menu that tell several plugins
 * of ours apart.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

/**
 * The funnel type's capabilities, as register_post_type takes them: WordPress's generic names
 * mapped to the type's own. Lower case, as WordPress keeps the post type's key.
 *
 * @return string[]
 */
function #prefix#_capabilities() {
	$one  = strtolower( '#prefix#_funnel' );
	$many = strtolower( '#prefix#_funnels' );
	return array(
		'edit_post'              => 'edit_' . $one,
		'read_post'              => 'read_' . $one,
		'delete_post'            => 'delete_' . $one,
		'edit_posts'             => 'edit_' . $many,
		'edit_others_posts'      => 'edit_others_' . $many,
		'delete_posts'           => 'delete_' . $many,
		'publish_posts'          => 'publish_' . $many,
		'read_private_posts'     => 'read_private_' . $many,
		'read'                   => 'read',
		'delete_private_posts'   => 'delete_private_' . $many,
		'delete_published_posts' => 'delete_published_' . $many,
		'delete_others_posts'    => 'delete_others_' . $many,
		'edit_private_posts'     => 'edit_private_' . $many,
		'edit_published_posts'   => 'edit_published_' . $many,
		'create_posts'           => 'edit_' . $many,
	);
}

/**
 * The capabilities a role is given: the type's own, without the meta capabilities that
 * map_meta_cap works out per funnel and without "read", which every role has.
 *
 * @return string[]
 */
function #prefix#_role_capabilities() {
	$caps = #prefix#_capabilities();
	unset( $caps['edit_post'], $caps['read_post'], $caps['delete_post'], $caps['read'] );
	return array_values( array_unique( $caps ) );
}

/**
 * Whether the current user may see and change a funnel: its key, tags, buyers and settings.
 * With no funnel, whether they may manage funnels at all.
 *
 * @param int $post_id The funnel, or 0.
 * @return bool
 */
function #prefix#_can_manage( $post_id = 0 ) {
	if ( $post_id ) {
		return current_user_can( 'edit_post', (int) $post_id );
	}
	return current_user_can( #prefix#_capabilities()['edit_posts'] );
}

/**
 * The option that says whether Editors manage funnels too ("yes") or not.
 *
 * @return string
 */
function #prefix#_editors_option() {
	return '#prefix#_editors';
}

/**
 * Gives the funnel capabilities to Administrators, and to Editors when the owner chose so;
 * takes them from Editors when the owner did not.
 */
function #prefix#_grant_capabilities() {
	$editors = 'yes' === get_option( #prefix#_editors_option() );
	$grants  = array(
		'administrator' => true,
		'editor'        => $editors,
	);
	foreach ( $grants as $name => $grant ) {
		$role = get_role( $name );
		if ( ! $role ) {
			continue;
		}
		foreach ( #prefix#_role_capabilities() as $cap ) {
			if ( $grant ) {
				$role->add_cap( $cap );
			} else {
				$role->remove_cap( $cap );
			}
		}
	}
	// WordPress worked out the current user's capabilities before "init": the upgrade's request
	// would otherwise refuse the owner the funnel screens.
	if ( is_user_logged_in() ) {
		wp_get_current_user()->get_role_caps();
	}
}

/**
 * The version of the plugin's stored data; raised with each change that needs an upgrade step.
 *
 * @return int
 */
function #prefix#_data_version() {
	return 2;
}

/**
 * The option that holds the data version the site's rows were last upgraded to.
 *
 * @return string
 */
function #prefix#_version_option() {
	return '#prefix#_version';
}

/**
 * Brings the site's rows up to this code, once per data version: at activation, and on the
 * first request after an update by upload (which activates nothing). Other modules add their
 * own steps on the "#prefix#_upgrade" action, which gets the version the rows had (0 for a
 * plugin made before versions were kept, or a new site).
 */
function #prefix#_upgrade_steps() {
	$from = (int) get_option( #prefix#_version_option(), 0 );
	if ( $from >= #prefix#_data_version() ) {
		return;
	}
	if ( $from < 2 ) {
		#prefix#_move_meta();
		#prefix#_move_dismissal();
	}
	#prefix#_grant_capabilities();
	do_action( '#prefix#_upgrade', $from );
	update_option( #prefix#_version_option(), #prefix#_data_version() );
}
add_action( 'init', '#prefix#_upgrade_steps', 0 );

/**
 * Activation runs the upgrade steps; switched on for a whole network, on every site of it.
 *
 * @param bool $network_wide Whether the plugin is switched on for the whole network.
 */
function #prefix#_activate_access( $network_wide = false ) {
	if ( ! is_multisite() || ! $network_wide ) {
		#prefix#_upgrade_steps();
		return;
	}
	foreach ( get_sites(
		array(
			'fields' => 'ids',
			'number' => 0,
		)
	) as $site ) {
		switch_to_blog( $site );
		#prefix#_upgrade_steps();
		restore_current_blog();
	}
}
register_activation_hook( dirname( __DIR__ ) . '/plugin.php', '#prefix#_activate_access' );

/**
 * Moves the funnels' fields from their old, unprotected names to the protected ones. Tags
 * saved before were cleaned for whoever saved them then, so they count as trusted.
 */
function #prefix#_move_meta() {
	$db    = $GLOBALS['wpdb'];
	$moved = array();
	foreach ( array( 'front_tag', 'back_tag', 'download_key', 'settings' ) as $field ) {
		$old = '#prefix#_' . $field;
		$new = #prefix#_meta_key( $field );
		if ( $old === $new ) {
			continue;
		}
		// phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching -- A one-time rename of meta keys; the caches of the funnels touched are cleared below.
		$ids = $db->get_col( $db->prepare( "SELECT DISTINCT m.post_id FROM {$db->postmeta} m JOIN {$db->posts} p ON p.ID = m.post_id WHERE m.meta_key = %s AND p.post_type = %s", $old, #prefix#_post_type() ) );
		if ( ! $ids ) {
			continue;
		}
		// phpcs:ignore WordPress.DB.DirectDatabaseQuery.DirectQuery, WordPress.DB.DirectDatabaseQuery.NoCaching -- See above.
		$db->query( $db->prepare( "UPDATE {$db->postmeta} m JOIN {$db->posts} p ON p.ID = m.post_id SET m.meta_key = %s WHERE m.meta_key = %s AND p.post_type = %s", $new, $old, #prefix#_post_type() ) );
		$moved = array_merge( $moved, array_map( 'intval', $ids ) );
	}
	foreach ( array_unique( $moved ) as $post_id ) {
		wp_cache_delete( $post_id, 'post_meta' );
		update_post_meta( $post_id, #prefix#_meta_key( 'trusted_tags' ), '1' );
	}
}

/**
 * The meta key under which a user keeps the first steps dismissed.
 *
 * @return string
 */
function #prefix#_dismissed_meta() {
	return '#prefix#_welcome_dismissed';
}

/**
 * The first steps were once dismissed for the whole site; those who may manage funnels keep
 * them dismissed now that each user dismisses them alone.
 */
function #prefix#_move_dismissal() {
	$old = '#prefix#_welcome';
	if ( 'dismissed' === get_option( $old ) ) {
		foreach ( get_users(
			array(
				'role'   => 'administrator',
				'fields' => 'ID',
			)
		) as $user_id ) {
			update_user_meta( (int) $user_id, #prefix#_dismissed_meta(), '1' );
		}
	}
	delete_option( $old );
}

/**
 * The funnel fields are kept in protected meta, registered so that neither the REST API,
 * XML-RPC nor the Custom Fields box may write them: only the funnel's own screen does.
 */
function #prefix#_register_meta() {
	$fields = array( 'front_tag', 'back_tag', 'download_key', 'settings', 'trusted_tags' );
	foreach ( $fields as $field ) {
		register_post_meta(
			#prefix#_post_type(),
			#prefix#_meta_key( $field ),
			array(
				'single'        => true,
				'show_in_rest'  => false,
				'auth_callback' => '__return_false',
			)
		);
	}
}
add_action( 'init', '#prefix#_register_meta' );

/**
 * Every meta key of the plugin is protected, whatever module adds it, and so are the names
 * funnel fields had before they were protected, so that no one plants a value under one.
 *
 * @param bool   $protected Whether WordPress takes the key for protected.
 * @param string $meta_key  The key.
 * @return bool
 */
function #prefix#_protect_meta( $protected, $meta_key ) {
	return $protected || 0 === strpos( (string) $meta_key, #prefix#_meta_key( '' ) ) || 0 === strpos( (string) $meta_key, '#prefix#_' );
}
add_filter( 'is_protected_meta', '#prefix#_protect_meta', 10, 2 );

/**
 * What a tag may hold when its author may not post raw HTML: what WordPress allows in a post,
 * plus the forms of payment buttons and opt-in boxes. Scripts and event handlers stay out.
 *
 * @return array
 */
function #prefix#_allowed_tag_html() {
	$allowed = wp_kses_allowed_html( 'post' );
	$common  = array(
		'id'    => true,
		'class' => true,
		'style' => true,
		'title' => true,
	);
	$fields  = array(
		'type'         => true,
		'name'         => true,
		'value'        => true,
		'checked'      => true,
		'disabled'     => true,
		'readonly'     => true,
		'required'     => true,
		'placeholder'  => true,
		'size'         => true,
		'maxlength'    => true,
		'min'          => true,
		'max'          => true,
		'step'         => true,
		'src'          => true,
		'alt'          => true,
		'width'        => true,
		'height'       => true,
		'border'       => true,
		'autocomplete' => true,
	);
	$more    = array(
		'form'     => array(
			'action'         => true,
			'method'         => true,
			'target'         => true,
			'enctype'        => true,
			'accept-charset' => true,
			'name'           => true,
			'novalidate'     => true,
		),
		'input'    => $fields,
		'button'   => array(
			'type'  => true,
			'name'  => true,
			'value' => true,
		),
		'select'   => array(
			'name'     => true,
			'multiple' => true,
			'size'     => true,
			'required' => true,
		),
		'option'   => array(
			'value'    => true,
			'selected' => true,
			'label'    => true,
		),
		'optgroup' => array( 'label' => true ),
		'label'    => array( 'for' => true ),
		'textarea' => array(
			'name'        => true,
			'rows'        => true,
			'cols'        => true,
			'placeholder' => true,
			'required'    => true,
		),
		'fieldset' => array(),
		'legend'   => array(),
		'img'      => array(
			'src'    => true,
			'alt'    => true,
			'width'  => true,
			'height' => true,
			'border' => true,
		),
		'a'        => array(
			'href'   => true,
			'rel'    => true,
			'target' => true,
		),
	);
	foreach ( $more as $tag => $attributes ) {
		$allowed[ $tag ] = array_merge( isset( $allowed[ $tag ] ) ? $allowed[ $tag ] : array(), $attributes, $common );
	}
	return $allowed;
}

/**
 * The elements and attributes in some markup, each as "<element>" or "attribute on <element>",
 * with how often it occurs.
 *
 * @param string $html The markup.
 * @return int[]
 */
function #prefix#_markup_parts( $html ) {
	$parts = array();
	preg_match_all( '/<([a-zA-Z][a-zA-Z0-9-]*)((?:[^>"\']|"[^"]*"|\'[^\']*\')*)>/', $html, $tags, PREG_SET_ORDER );
	foreach ( $tags as $tag ) {
		$element           = '<' . strtolower( $tag[1] ) . '>';
		$parts[ $element ] = ( isset( $parts[ $element ] ) ? $parts[ $element ] : 0 ) + 1;
		preg_match_all( '/([^\s"\'=\/>]+)\s*(?:=\s*(?:"[^"]*"|\'[^\']*\'|[^\s"\'>]*))?/', $tag[2], $attributes );
		foreach ( $attributes[1] as $attribute ) {
			$part           = strtolower( $attribute ) . ' on ' . $element;
			$parts[ $part ] = ( isset( $parts[ $part ] ) ? $parts[ $part ] : 0 ) + 1;
		}
	}
	return $parts;
}

/**
 * What cleaning took out of a tag: each element or attribute that occurs less often after it.
 *
 * @param string $before The tag as posted.
 * @param string $after  The tag as cleaned.
 * @return string[]
 */
function #prefix#_removed_parts( $before, $after ) {
	$kept    = #prefix#_markup_parts( $after );
	$removed = array();
	foreach ( #prefix#_markup_parts( $before ) as $part => $count ) {
		if ( ( isset( $kept[ $part ] ) ? $kept[ $part ] : 0 ) < $count ) {
			$removed[] = $part;
		}
	}
	return $removed;
}

/**
 * A tag cleaned with the allowed list, and what the cleaning removed.
 *
 * @param string $tag The tag.
 * @return array array( 'tag' => string, 'removed' => string[] ).
 */
function #prefix#_filter_tag( $tag ) {
	$clean = wp_kses( $tag, #prefix#_allowed_tag_html() );
	return array(
		'tag'     => $clean,
		'removed' => #prefix#_removed_parts( $tag, $clean ),
	);
}

/**
 * The response headers of everything a key opens: never kept by a shared cache or the
 * browser, kept out of search engines, and the address (with its key) sent on to no one.
 */
function #prefix#_private_headers() {
	nocache_headers();
	header( 'Cache-Control: private, no-store' );
	header( 'X-Robots-Tag: noindex, nofollow' );
	header( 'Referrer-Policy: no-referrer' );
}

/**
 * Whether a query names the funnel type among those it asks for.
 *
 * @param WP_Query $query The query.
 * @return bool
 */
function #prefix#_query_has_funnels( $query ) {
	$types = (array) $query->get( 'post_type' );
	return in_array( #prefix#_post_type(), $types, true ) || in_array( 'any', $types, true );
}

/**
 * Funnels are reached at their own address only: searches and feeds leave them out even when
 * asked for them by type, and a listing of the type on the site's front is empty.
 *
 * @param WP_Query $query The query about to run.
 */
function #prefix#_hide_from_listings( $query ) {
	if ( is_admin() || ! #prefix#_query_has_funnels( $query ) ) {
		return;
	}
	$listing = $query->is_search() || $query->is_feed();
	if ( ! $listing && ! ( $query->is_main_query() && ! $query->is_singular() ) ) {
		return;
	}
	$types = array_diff( (array) $query->get( 'post_type' ), array( #prefix#_post_type() ) );
	if ( ! $types ) {
		$query->set( 'post__in', array( 0 ) );
		return;
	}
	$query->set( 'post_type', array_values( $types ) );
}
add_action( 'pre_get_posts', '#prefix#_hide_from_listings' );

/**
 * The XML sitemaps leave the funnel type out.
 *
 * @param WP_Post_Type[] $types The post types listed, by name.
 * @return WP_Post_Type[]
 */
function #prefix#_leave_out_of_sitemaps( $types ) {
	unset( $types[ #prefix#_post_type() ] );
	return $types;
}
add_filter( 'wp_sitemaps_post_types', '#prefix#_leave_out_of_sitemaps' );

/**
 * No oEmbed answer describes a funnel.
 *
 * @param int $post_id The post the oEmbed request's address leads to.
 * @return int
 */
function #prefix#_no_oembed( $post_id ) {
	return #prefix#_post_type() === get_post_type( $post_id ) ? 0 : $post_id;
}
add_filter( 'oembed_request_post_id', '#prefix#_no_oembed' );

/**
 * A funnel's embed view ("/embed/" after its address) is not found, and not sent on to the
 * funnel either, as WordPress would guess it for an address it does not find.
 */
function #prefix#_no_embed_view() {
	if ( is_embed() && is_singular( #prefix#_post_type() ) ) {
		$GLOBALS['wp_query']->set_404();
		// set_404() leaves the embed flag, and the embed template would still show the funnel.
		$GLOBALS['wp_query']->is_embed = false;
		status_header( 404 );
		nocache_headers();
		remove_action( 'template_redirect', 'redirect_canonical' );
	}
}
add_action( 'template_redirect', '#prefix#_no_embed_view', 0 );

/**
 * The plugin's folder, which tells two plugins of ours with the same name apart.
 *
 * @return string
 */
function #prefix#_folder() {
	return basename( dirname( __DIR__ ) );
}

/**
 * The menu entry carries the plugin's folder as its hover text.
 */
function #prefix#_menu_hover_text() {
	$file = 'edit.php?post_type=' . #prefix#_post_type();
	/* translators: 1: the plugin's name, 2: the folder the plugin is installed in. */
	$hover = sprintf( __( '%1$s (plugin folder: %2$s)', '#prefix#' ), #prefix#_menu_name(), #prefix#_folder() );
	foreach ( (array) $GLOBALS['menu'] as $position => $item ) {
		if ( isset( $item[2] ) && $file === $item[2] ) {
			// phpcs:ignore WordPress.WP.GlobalVariablesOverride.Prohibited -- The one way to give a menu entry a hover text; the name is escaped as WordPress escapes it.
			$GLOBALS['menu'][ $position ][0] = '<span title="' . esc_attr( $hover ) . '">' . esc_html( #prefix#_menu_name() ) . '</span>';
		}
	}
}
add_action( 'admin_menu', '#prefix#_menu_hover_text', 999 );

/**
 * The access settings: a small screen beneath the plugin's menu, for Administrators.
 */
function #prefix#_add_access_screen() {
	add_submenu_page(
		'edit.php?post_type=' . #prefix#_post_type(),
		esc_html__( 'Access', '#prefix#' ),
		esc_html__( 'Access', '#prefix#' ),
		'manage_options',
		'#prefix#_access',
		'#prefix#_render_access_screen'
	);
}
add_action( 'admin_menu', '#prefix#_add_access_screen' );

/**
 * The action that saves the access settings.
 *
 * @return string
 */
function #prefix#_access_action() {
	return '#prefix#_save_access';
}

/**
 * Prints the access settings: which plugin this is, and whether Editors manage funnels.
 */
function #prefix#_render_access_screen() {
	if ( ! current_user_can( 'manage_options' ) ) {
		return;
	}
	$action = #prefix#_access_action();
	echo '<div class="wrap"><h1>' . esc_html( #prefix#_menu_name() ) . ' — ' . esc_html__( 'Access', '#prefix#' ) . '</h1>';
	printf(
		'<p class="description" id="%1$s">%2$s</p>',
		esc_attr( '#prefix#-folder' ),
		/* translators: %s: the folder the plugin is installed in. */
		esc_html( sprintf( __( 'Plugin folder: %s', '#prefix#' ), #prefix#_folder() ) )
	);
	printf(
		'<form method="post" action="%1$s"><input type="hidden" name="action" value="%2$s" />',
		esc_url( admin_url( 'admin-post.php' ) ),
		esc_attr( $action )
	);
	wp_nonce_field( $action );
	printf(
		'<p>%1$s</p><p><label><input type="checkbox" name="%2$s" value="yes" %3$s /> %4$s</label></p>',
		esc_html__( 'Administrators manage the funnels: their keys, buy buttons, download links and buyers. Other users see none of it.', '#prefix#' ),
		esc_attr( #prefix#_editors_option() ),
		checked( 'yes', get_option( #prefix#_editors_option() ), false ),
		esc_html__( 'Editors manage the funnels too.', '#prefix#' )
	);
	submit_button( __( 'Save', '#prefix#' ) );
	echo '</form></div>';
}

/**
 * Saves the access settings and gives or takes the Editors' capabilities accordingly.
 */
function #prefix#_save_access() {
	check_admin_referer( #prefix#_access_action() );
	if ( ! current_user_can( 'manage_options' ) ) {
		wp_die( esc_html__( 'Sorry, you are not allowed to do that.', '#prefix#' ), '', array( 'response' => 403 ) );
	}
	$editors = isset( $_POST[ #prefix#_editors_option() ] ) && 'yes' === $_POST[ #prefix#_editors_option() ];
	update_option( #prefix#_editors_option(), $editors ? 'yes' : 'no' );
	#prefix#_grant_capabilities();
	wp_safe_redirect( admin_url( 'edit.php?post_type=' . #prefix#_post_type() . '&page=#prefix#_access&updated=1' ) );
	exit;
}
add_action( 'admin_post_' . #prefix#_access_action(), '#prefix#_save_access' );

/**
 * The flag that holds what cleaning took out of a user's last saved funnel, for the notice.
 *
 * @param int $post_id The funnel.
 * @return string
 */
function #prefix#_removed_flag( $post_id ) {
	return '#prefix#_removed_' . (int) $post_id . '_' . get_current_user_id();
}

/**
 * After saving, tells the user what the allowed list took out of their tags.
 */
function #prefix#_removed_notice() {
	$post_id = isset( $_GET['post'] ) ? absint( $_GET['post'] ) : 0; // phpcs:ignore WordPress.Security.NonceVerification.Recommended -- Only reads which funnel's note to show.
	if ( ! $post_id || ! #prefix#_can_manage( $post_id ) ) {
		return;
	}
	$removed = get_transient( #prefix#_removed_flag( $post_id ) );
	if ( ! is_array( $removed ) || ! $removed ) {
		return;
	}
	delete_transient( #prefix#_removed_flag( $post_id ) );
	printf(
		'<div id="%1$s" class="notice notice-warning"><p>%2$s</p><p><code>%3$s</code></p></div>',
		esc_attr( '#prefix#-removed' ),
		esc_html__( 'Some of the HTML you saved is not allowed for your user account and was removed; an Administrator can save it for you:', '#prefix#' ),
		esc_html( implode( ', ', $removed ) )
	);
}
add_action( 'admin_notices', '#prefix#_removed_notice' );
